#include "platform/windows_desktop.h"

#include <windows.h>

namespace Platform {

bool BoxesSeen() {
    USEROBJECTFLAGS flags = {};
    DWORD size = 0;
    return !GetUserObjectInformationA(GetProcessWindowStation(), UOI_FLAGS, &flags,
                                      sizeof flags, &size) ||
           (flags.dwFlags & WSF_VISIBLE) != 0;
}

}  // namespace Platform
