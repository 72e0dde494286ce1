#include "platform/loop/main_loop.h"
#include "ui/qt_main_loop.h"

#include <QCoreApplication>

#include <memory>

namespace lumetra::app {

// Qt's application object for the loop; it lives until the exit.
std::unique_ptr<platform::MainLoop> MakeHeadlessLoop(int& argc, char** argv)
{
    new QCoreApplication(argc, argv);
    return std::make_unique<ui::QtMainLoop>();
}

} // namespace lumetra::app
