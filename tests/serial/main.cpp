#include <QApplication>

int runSerialPartsTest(int argc, char **argv);
int runSerialControlTest(int argc, char **argv);
int runSerialWindowTest(int argc, char **argv);

// The control's pure parts, the control over pseudo-terminals, and the
// window over the control, as one test program.
int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    int failures = 0;
    failures += runSerialPartsTest(argc, argv);
    failures += runSerialControlTest(argc, argv);
    failures += runSerialWindowTest(argc, argv);
    return failures;
}
