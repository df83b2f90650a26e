// The cleaners of the "Instant Messengers" category that are built in: MSN Messenger's message
// logs and received files, Yahoo! Messenger's log, cache and profiles, Skype's history files.
#pragma once
#include "engine/Cleaner.h"

namespace qv {

// The "Instant Messengers" category.
const TItemFamily& MessengerItems();

}  // namespace qv
