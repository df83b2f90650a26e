// Owners of Windows resources: each closes what it holds when it goes, whatever path leaves the
// scope (a return, an exception). Every owner moves and never copies.
//
//   TKernelHandle   a kernel object whose "none" is null (mutex, event, thread, process, token)
//   TFileHandle     a file, folder or device opened by CreateFile ("none" is INVALID_HANDLE_VALUE)
//   TFindHandle     a FindFirstFile listing
//   TRegKey         an opened registry key (the predefined roots are never held)
//   TComPtr<T>      a COM interface pointer
//   TComApartment   CoInitializeEx on this thread, undone when it goes (when it succeeded)
//   TOleSession     OleInitialize on this thread, the same way
//   TMutexLock      a waited-for mutex, released when it goes
//   TCoTaskMem<T>   memory of the COM task allocator (a shell item id list, for instance)
#pragma once
#include <windows.h>
#include <objbase.h>
#include <ole2.h>

#include <utility>

namespace qv {

// One handle and the rule that closes it. Traits give the handle's type, its "none" value and
// its closing call.
template <class Traits>
class TUniqueHandle {
 public:
  using Handle = typename Traits::Handle;

  TUniqueHandle() = default;
  explicit TUniqueHandle(Handle h) : h_(h) {}
  ~TUniqueHandle() { Reset(); }
  TUniqueHandle(TUniqueHandle&& other) noexcept : h_(other.Release()) {}
  TUniqueHandle& operator=(TUniqueHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  TUniqueHandle(const TUniqueHandle&) = delete;
  TUniqueHandle& operator=(const TUniqueHandle&) = delete;

  Handle Get() const { return h_; }
  bool Valid() const { return h_ != Traits::None(); }
  explicit operator bool() const { return Valid(); }
  // Gives the handle up without closing it.
  Handle Release() {
    Handle h = h_;
    h_ = Traits::None();
    return h;
  }
  // Closes what it holds and takes h.
  void Reset(Handle h = Traits::None()) {
    if (h_ != Traits::None() && h_ != h) Traits::Close(h_);
    h_ = h;
  }
  // For calls that hand a handle out through a pointer: closes what it holds first.
  Handle* Put() {
    Reset();
    return &h_;
  }

 private:
  Handle h_ = Traits::None();
};

struct TKernelHandleTraits {
  using Handle = HANDLE;
  static HANDLE None() { return nullptr; }
  static void Close(HANDLE h) { CloseHandle(h); }
};

struct TFileHandleTraits {
  using Handle = HANDLE;
  static HANDLE None() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { CloseHandle(h); }
};

struct TFindHandleTraits {
  using Handle = HANDLE;
  static HANDLE None() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { FindClose(h); }
};

struct TRegKeyTraits {
  using Handle = HKEY;
  static HKEY None() { return nullptr; }
  static void Close(HKEY k) { RegCloseKey(k); }
};

using TKernelHandle = TUniqueHandle<TKernelHandleTraits>;
using TFileHandle = TUniqueHandle<TFileHandleTraits>;
using TFindHandle = TUniqueHandle<TFindHandleTraits>;
using TRegKey = TUniqueHandle<TRegKeyTraits>;

// A COM interface pointer that holds one reference.
template <class T>
class TComPtr {
 public:
  TComPtr() = default;
  // Takes over a reference the caller already holds.
  explicit TComPtr(T* p) : p_(p) {}
  ~TComPtr() { Reset(); }
  TComPtr(TComPtr&& other) noexcept : p_(other.Detach()) {}
  TComPtr& operator=(TComPtr&& other) noexcept {
    if (this != &other) {
      Reset();
      p_ = other.Detach();
    }
    return *this;
  }
  TComPtr(const TComPtr&) = delete;
  TComPtr& operator=(const TComPtr&) = delete;

  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  T* Detach() {
    T* p = p_;
    p_ = nullptr;
    return p;
  }
  void Reset() {
    if (p_) p_->Release();
    p_ = nullptr;
  }
  // For calls that hand an interface out through a pointer: releases what it holds first.
  T** Put() {
    Reset();
    return &p_;
  }
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }

 private:
  T* p_ = nullptr;
};

// COM on the calling thread for the life of the object.
class TComApartment {
 public:
  explicit TComApartment(DWORD model = COINIT_APARTMENTTHREADED) : hr_(CoInitializeEx(nullptr, model)) {}
  ~TComApartment() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }
  TComApartment(const TComApartment&) = delete;
  TComApartment& operator=(const TComApartment&) = delete;
  // False when COM could not be started on this thread (another model is in force, for instance).
  bool Ready() const { return SUCCEEDED(hr_) || hr_ == RPC_E_CHANGED_MODE; }

 private:
  HRESULT hr_;
};

// OLE on the calling thread for the life of the object (the shell's folder browser wants it).
class TOleSession {
 public:
  TOleSession() : hr_(OleInitialize(nullptr)) {}
  ~TOleSession() {
    if (SUCCEEDED(hr_)) OleUninitialize();
  }
  TOleSession(const TOleSession&) = delete;
  TOleSession& operator=(const TOleSession&) = delete;

 private:
  HRESULT hr_;
};

// Memory of the COM task allocator, freed when the object goes.
template <class T>
class TCoTaskMem {
 public:
  TCoTaskMem() = default;
  explicit TCoTaskMem(T* p) : p_(p) {}
  ~TCoTaskMem() { CoTaskMemFree(p_); }
  TCoTaskMem(TCoTaskMem&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  TCoTaskMem& operator=(TCoTaskMem&& other) noexcept {
    if (this != &other) {
      CoTaskMemFree(p_);
      p_ = std::exchange(other.p_, nullptr);
    }
    return *this;
  }
  TCoTaskMem(const TCoTaskMem&) = delete;
  TCoTaskMem& operator=(const TCoTaskMem&) = delete;

  T* Get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  T** Put() {
    CoTaskMemFree(p_);
    p_ = nullptr;
    return &p_;
  }

 private:
  T* p_ = nullptr;
};

// Waits for a mutex and holds it until the object goes. An abandoned mutex (its last owner ended
// without releasing it) is held as well; a wait that runs out or fails holds nothing.
class TMutexLock {
 public:
  TMutexLock(HANDLE mutex, DWORD timeoutMs) : mutex_(mutex) {
    if (!mutex_) return;
    const DWORD r = WaitForSingleObject(mutex_, timeoutMs);
    owned_ = r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;
  }
  ~TMutexLock() {
    if (owned_) ReleaseMutex(mutex_);
  }
  TMutexLock(const TMutexLock&) = delete;
  TMutexLock& operator=(const TMutexLock&) = delete;
  bool Owned() const { return owned_; }

 private:
  HANDLE mutex_;
  bool owned_ = false;
};

}  // namespace qv
