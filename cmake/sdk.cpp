// The SDK library is made of the web view's static libraries, taken whole;
// this file only gives the target a source of its own.
namespace tolvane::sdk {
int version() { return 1; }
}  // namespace tolvane::sdk
