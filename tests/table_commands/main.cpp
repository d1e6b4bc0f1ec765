// Runs every test class of the table commands in one executable.
#include <QCoreApplication>
#include <QTest>

int runSaveTests(int argc, char** argv);
int runEditTests(int argc, char** argv);
int runSearchTests(int argc, char** argv);
int runClipboardTests(int argc, char** argv);
int runExtractTests(int argc, char** argv);
int runSumTests(int argc, char** argv);
int runColumnOrderTests(int argc, char** argv);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int failed = 0;
    failed += runSaveTests(argc, argv);
    failed += runEditTests(argc, argv);
    failed += runSearchTests(argc, argv);
    failed += runClipboardTests(argc, argv);
    failed += runExtractTests(argc, argv);
    failed += runSumTests(argc, argv);
    failed += runColumnOrderTests(argc, argv);
    return failed == 0 ? 0 : 1;
}
