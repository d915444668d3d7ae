#pragma once
// The application object that Qt windows need, in a host that may or may not be a Qt program.
//
// A host with a QApplication calls on its GUI thread and its object serves. A host without one (a script
// host, the command-line client, a service) gets one made on the calling thread, kept for the life of the
// process. Qt ends a process whose display it cannot open; so before an object is made, the platform is
// chosen here and its display opened once, and a call that no display could serve is refused with a text
// instead.

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

class QApplication;
class QCoreApplication;

namespace tessel::qt {

// Why no Qt window can be shown on the calling thread, in words for the user.
class EQtUnavailable : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// What the choice of a platform looks at, so that it can be tried without a display.
struct TPlatformProbe {
    // The value of an environment variable; nothing when unset or empty.
    std::function<std::optional<std::string>(const char* name)> env;
    // Whether the platform plugin named `platform` loads; `why` says why not.
    std::function<bool(const std::string& platform, std::string& why)> pluginLoads;
    // Whether the display that `platform` talks to accepts a connection (platforms without a display of
    // their own, such as offscreen, always do); `why` says why not.
    std::function<bool(const std::string& platform, std::string& why)> displayReachable;
};

// The platform for a new application object, as "-platform" takes it: the first entry of QT_QPA_PLATFORM's
// list ("name[:options];...") that can serve, or else xcb when DISPLAY is set, or else wayland when
// WAYLAND_DISPLAY is. An entry serves when its plugin loads and its display is reachable. Throws
// EQtUnavailable naming every reason when none serves.
std::string ChoosePlatform(const TPlatformProbe& probe);

// The probe of this process: its environment, Qt's plugin folders and the display libraries (loaded only to
// open the display once and close it).
TPlatformProbe SystemProbe();

// The application object serving the calling thread: the host's, on its thread; else one made here on the
// calling thread with the platform ChoosePlatform gives. Throws EQtUnavailable when the host's object is not
// a QApplication, when the call comes from another thread than the one the object lives on, or when no
// display can serve.
QApplication& ApplicationForThisThread();
// Gives Qt's own texts (standard buttons, file dialogs) in Russian, as the rest of the windows speak, from
// the distribution's translations; without them Qt's English texts stay. For an application object this
// library or one of our programs made: a host's own object keeps the host's choice.
void InstallQtTranslations(QCoreApplication& app);

}  // namespace tessel::qt
