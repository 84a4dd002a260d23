// TSTestTool3: the log database and resource ACL test tool.
#include <QApplication>

#include "Tool3.h"
#include "ToolWindow.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    tessel::tester::TokenLibrary library;
    tessel::tester::ToolWindow window(tessel::tools::Tool3(), library);
    window.show();
    return QApplication::exec();
}
