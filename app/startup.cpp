#include "app/startup.h"

#include <QtGlobal>

#include <cstdio>
#include <cstring>

bool checkGraphicalDisplay(int argc, char **argv)
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN) && !defined(Q_OS_ANDROID)
    // A chosen platform plug-in ("offscreen", "vnc", ...) needs no display.
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY")
        || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return true;
    }
    const char *program = argc > 0 && argv[0] && *argv[0] ? argv[0] : "kwn-frame-builder";
    std::fprintf(stderr,
                 "No graphical display is available (neither DISPLAY nor WAYLAND_DISPLAY is set); "
                 "start the tool under a virtual display from the folder that holds xml/, "
                 "for example: xvfb-run -a %s\n",
                 program);
    return false;
#else
    Q_UNUSED(argc)
    Q_UNUSED(argv)
    return true;
#endif
}
