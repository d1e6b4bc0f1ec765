// Runs every test class of the table commands in one executable. Test
// function names on the command line go to the classes that have them.
#include <QCoreApplication>
#include <QMetaMethod>
#include <QTest>

#include <memory>
#include <vector>

QObject* makeSaveTests();
QObject* makeEditTests();
QObject* makeSearchTests();
QObject* makeClipboardTests();
QObject* makeExtractTests();
QObject* makeSumTests();
QObject* makeColumnOrderTests();
QObject* makeDocumentLayoutTests();
QObject* makeUtf8CommandTests();
QObject* makeSortTests();
QObject* makeSaveOverTests();
QObject* makeTableFormTests();
QObject* makeCsvTests();
QObject* makeCsvInterchangeTests();
QObject* makeAddCellsTests();
QObject* makeDiskChangesTests();
QObject* makeRecoveryTests();

namespace {

bool hasFunction(const QObject& o, const QByteArray& arg)
{
    const QByteArray name = arg.left(arg.indexOf(':') < 0 ? arg.size() : arg.indexOf(':'));
    const QMetaObject* mo = o.metaObject();
    for (int i = mo->methodOffset(); i < mo->methodCount(); ++i)
        if (mo->method(i).name() == name)
            return true;
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::vector<std::unique_ptr<QObject>> tests;
    for (auto make : {makeSaveTests, makeEditTests, makeSearchTests, makeClipboardTests, makeExtractTests, makeSumTests,
                      makeColumnOrderTests, makeDocumentLayoutTests, makeUtf8CommandTests, makeSortTests,
                      makeSaveOverTests, makeTableFormTests, makeCsvTests, makeCsvInterchangeTests, makeAddCellsTests,
                      makeDiskChangesTests, makeRecoveryTests})
        tests.emplace_back(make());

    // Options (and the values of those that take one) go to every class.
    const QList<QByteArray> valued{"-o", "-maxwarnings", "-eventdelay", "-keydelay", "-mousedelay", "-seed"};
    std::vector<char*> options{argv[0]};
    QList<QByteArray> functions;
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] == '-') {
            options.push_back(argv[i]);
            if (valued.contains(QByteArray(argv[i])) && i + 1 < argc)
                options.push_back(argv[++i]);
        } else {
            functions << QByteArray(argv[i]);
        }
    }

    int failed = 0;
    for (const auto& t : tests) {
        std::vector<QByteArray> mine;
        for (const auto& f : functions)
            if (hasFunction(*t, f))
                mine.push_back(f);
        if (!functions.isEmpty() && mine.empty())
            continue;
        std::vector<char*> args = options;
        for (auto& f : mine)
            args.push_back(f.data());
        failed += QTest::qExec(t.get(), static_cast<int>(args.size()), args.data());
    }
    return failed == 0 ? 0 : 1;
}
