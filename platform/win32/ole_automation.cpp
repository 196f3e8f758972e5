#include "platform/win32/ole_automation.h"

#include "platform/win32/system_library.h"

namespace {

template <typename Function>
Function Call(const ScopedLibrary& library, const char* name) {
  return library.valid() ? SystemFunction<Function>(library, name) : nullptr;
}

struct LoadedOleAutomation {
  ScopedLibrary library = LoadSystemLibrary(L"oleaut32.dll");
  OleAutomationCalls calls = {
      Call<decltype(&SysAllocString)>(library, "SysAllocString"),
      Call<decltype(&SysFreeString)>(library, "SysFreeString"),
      Call<decltype(&VariantClear)>(library, "VariantClear"),
  };
};

}  // namespace

const OleAutomationCalls& OleAutomation() {
  static const LoadedOleAutomation loaded;
  return loaded.calls;
}
