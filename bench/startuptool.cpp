// The tool's start-up as its own main() runs it, for the start-up bench,
// with the probe that reports the window painted and idle.

#include "startupprobe.h"

#include "app/startup.h"

int main(int argc, char *argv[])
{
    return runTool(argc, argv, [](QWidget *window) { new StartupProbe(window); });
}
