// The entry point of the layer checks (CMakeLists.txt): each links one layer whole with only the
// layers below it, so that every call the layer makes must resolve there. Never run.
int main() { return 0; }
