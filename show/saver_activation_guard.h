// Keeps a show window active while the program itself creates or activates its other windows.
//
// A show window refuses to become inactive (WM_NCACTIVATE returns FALSE). Windows honours that
// for activation changes within the program; Wine does not, so creating the photo window above
// the veil would deactivate the veil and end the show at once. The guard refuses, on this thread,
// any activation while a show window is the active window. Another application taking the focus
// is not seen here, so real deactivation still reaches the windows and ends the show.
#pragma once

namespace quillmere {

class SaverActivationGuard {
public:
    // Installs the guard for this thread once; it stays until the thread ends.
    static void Install();
};

}  // namespace quillmere
