// Opening the finished listing in the user's viewer, on Windows.

#include "platform/viewer.hpp"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

namespace mervik::platform {

void openDocument(const std::string& path) {
  // The shell opens the file with the application associated with it; the path is the file to
  // open, never part of a command line. The association may be served through COM.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  SHELLEXECUTEINFOA info{};
  info.cbSize = sizeof info;
  // NOASYNC: the program ends right after, so the call returns only once the viewer is
  // started. FLAG_NO_UI: no association, no dialog; a missing viewer is ignored.
  info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  info.lpFile = path.c_str();
  info.nShow = SW_SHOWNORMAL;
  ShellExecuteExA(&info);
  if (SUCCEEDED(com)) CoUninitialize();
}

}  // namespace mervik::platform
