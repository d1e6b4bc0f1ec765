// Comma-separated tables against another reader and writer: Python's csv
// module reads what a save writes, and its own files open with the same
// cells, for random tables of hard fields in every separator and encoding.
#include "GridHelpers.h"

#include "common/FixedMetrics.h"
#include "table/TableDocument.h"
#include "text/TextEncoding.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <random>

using namespace rasmik;
using namespace testgrid;

namespace {

using Table = QList<QStringList>;

struct Form {
    const char* name;
    char separator;
    TextEncoding encoding;
    const char* python; // the codec Python reads and writes the file in
};
constexpr Form Forms[] = {
    {"comma windows-1256", ',', TextEncoding::Windows1256, "cp1256"},
    {"comma utf-8", ',', TextEncoding::Utf8, "utf-8"},
    {"semicolon windows-1256", ';', TextEncoding::Windows1256, "cp1256"},
    {"semicolon utf-8", ';', TextEncoding::Utf8, "utf-8"},
    {"tab windows-1256", '\t', TextEncoding::Windows1256, "cp1256"},
    {"tab utf-8", '\t', TextEncoding::Utf8, "utf-8"},
};
constexpr int TablesPerForm = 40;

// Fields are made of these: words, the separators, quotes and line breaks.
const char* const Pieces[] = {"سلام", "تهران", "کتاب", "گل پیچک", "چای", "alpha", "Bob", "x",  "1,200",
                              " ",    "\"",    "\"\"", ",",       ";",   "\t",    "\r",  "\n", "\r\n"};

// A random table of 1 to 8 rows of 0 to 5 fields. Windows-1256 text is made
// of what that encoding holds, so that it reads back as generated.
Table randomTable(std::mt19937& random, TextEncoding encoding)
{
    const auto upTo = [&random](int n) { return std::uniform_int_distribution<int>(0, n)(random); };
    Table table;
    const int rows = 1 + upTo(7);
    const int widest = upTo(5);
    for (int r = 0; r < rows; ++r) {
        QStringList row;
        const int fields = upTo(4) == 0 ? upTo(widest) : widest;
        for (int c = 0; c < fields; ++c) {
            std::string field;
            for (int k = upTo(4); k > 0; --k)
                field += Pieces[upTo(static_cast<int>(std::size(Pieces)) - 1)];
            if (encoding == TextEncoding::Windows1256)
                field = Cp1256ToUtf8(Utf8ToCp1256(field));
            row << QString::fromStdString(field);
        }
        table << row;
    }
    return table;
}

std::string heldText(const QString& text, TextEncoding encoding)
{
    const std::string utf8 = text.toStdString();
    return encoding == TextEncoding::Windows1256 ? Utf8ToCp1256(utf8) : utf8;
}

// The grid's rows up to their last cell that is not fill, in UTF-8.
Table cellsOf(const CoreGrid& g)
{
    Table rows;
    for (int r = 0; r < g.RowCount(); ++r) {
        int length = g.ColCount();
        while (length > 0 && g.IsFill(length - 1, r))
            --length;
        QStringList cells;
        for (int c = 0; c < length; ++c) {
            const std::string text(g.Cell(c, r));
            cells << QString::fromStdString(g.Encoding() == TextEncoding::Windows1256 ? Cp1256ToUtf8(text) : text);
        }
        rows << cells;
    }
    return rows;
}

QString describe(const Table& table, int row)
{
    if (row >= table.size())
        return QStringLiteral("no row");
    return QStringLiteral("%1 fields [%2]").arg(table[row].size()).arg(table[row].join('|'));
}

// Where got first differs from want, for the failure message; empty when
// they are the same.
QString difference(const Table& got, const Table& want)
{
    for (int r = 0; r < std::max(got.size(), want.size()); ++r)
        if (r >= got.size() || r >= want.size() || got[r] != want[r])
            return QStringLiteral("row %1: got %2, want %3").arg(r).arg(describe(got, r), describe(want, r));
    return {};
}

Table fromJson(const QJsonArray& rows)
{
    Table table;
    for (const QJsonValue& row : rows) {
        QStringList cells;
        for (const QJsonValue& cell : row.toArray())
            cells << cell.toString();
        table << cells;
    }
    return table;
}

QJsonArray toJson(const Table& table)
{
    QJsonArray rows;
    for (const QStringList& row : table)
        rows.append(QJsonArray::fromStringList(row));
    return rows;
}

// Runs script with the job file and an answer file; empty on success.
QString runPython(const char* script, const QString& jobs, const QString& answer)
{
    QProcess python;
    python.start("/usr/bin/python3", {"-c", script, jobs, answer});
    if (!python.waitForFinished(120000) || python.exitStatus() != QProcess::NormalExit || python.exitCode() != 0)
        return "python3 failed: " + QString::fromUtf8(python.readAllStandardError());
    return {};
}

// strict: a quote where none may stand is an error, not a guess.
constexpr const char* Reader = R"(
import csv, json, sys
tables = []
for job in json.load(open(sys.argv[1], encoding='utf-8')):
    with open(job['file'], newline='', encoding=job['encoding']) as f:
        tables.append(list(csv.reader(f, delimiter=job['separator'], strict=True)))
json.dump(tables, open(sys.argv[2], 'w', encoding='utf-8'), ensure_ascii=False)
)";

constexpr const char* Writer = R"(
import csv, json, sys
for job in json.load(open(sys.argv[1], encoding='utf-8')):
    with open(job['file'], 'w', newline='', encoding=job['encoding']) as f:
        quoting = csv.QUOTE_ALL if job['quoteAll'] else csv.QUOTE_MINIMAL
        csv.writer(f, delimiter=job['separator'], lineterminator=job['lineBreak'], quoting=quoting).writerows(job['rows'])
)";

} // namespace

class TestCsvInterchange : public QObject {
    Q_OBJECT
    FixedMetrics metrics_;

    struct Case {
        const Form* form;
        QString file;
        Table table;
    };

    QList<Case> randomCases(const QTemporaryDir& dir, unsigned seed)
    {
        std::mt19937 random(seed);
        QList<Case> cases;
        for (const Form& form : Forms)
            for (int i = 0; i < TablesPerForm; ++i)
                cases << Case{&form, dir.filePath(QStringLiteral("t%1.csv").arg(cases.size())),
                              randomTable(random, form.encoding)};
        return cases;
    }

    static QJsonObject job(const Case& c)
    {
        return {{"file", c.file},
                {"encoding", c.form->python},
                {"separator", QString(QChar::fromLatin1(c.form->separator))}};
    }

private slots:
    // Each table is put into the cells of an opened one of its shape and
    // saved in its form; Python reads the file back.
    void pythonReadsWhatWeSave()
    {
        QTemporaryDir dir;
        const QList<Case> cases = randomCases(dir, 1403);
        QJsonArray jobs;
        for (const Case& c : cases) {
            QByteArray shape;
            for (const QStringList& row : c.table)
                shape += QByteArrayList(row.size(), "x").join(',') + "\r\n";
            const QString shapeFile = c.file + ".shape.csv";
            QVERIFY(Write(shapeFile, shape));
            TableDocument doc;
            FixedLayoutTarget target(metrics_, 600, false);
            QVERIFY(doc.open(shapeFile.toStdString(), target, {}, ReadChoice{c.form->encoding, CommaForm}).ok());
            for (int r = 0; r < c.table.size(); ++r)
                for (int col = 0; col < c.table[r].size(); ++col)
                    doc.setCell(col, r, heldText(c.table[r][col], c.form->encoding));
            QVERIFY(doc.save(c.file.toStdString(), 0, {}, FileEncoding{c.form->encoding, false},
                             TableForm{c.form->separator, true})
                        .ok());
            jobs.append(job(c));
        }
        QVERIFY(Write(dir.filePath("jobs.json"), QJsonDocument(jobs).toJson()));
        const QString failed = runPython(Reader, dir.filePath("jobs.json"), dir.filePath("read.json"));
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        const QJsonArray read = QJsonDocument::fromJson(ReadAll(dir.filePath("read.json"))).array();
        QCOMPARE(read.size(), cases.size());
        for (int i = 0; i < cases.size(); ++i) {
            const QString diff = difference(fromJson(read[i].toArray()), cases[i].table);
            QVERIFY2(diff.isEmpty(),
                     qPrintable(cases[i].form->name + QStringLiteral(" ") + cases[i].file + ": " + diff));
        }
    }

    // Python writes each table, quoting what needs it or every field, with
    // CR LF or LF; opened in its form, it shows the same cells.
    void weReadWhatPythonWrites()
    {
        QTemporaryDir dir;
        const QList<Case> cases = randomCases(dir, 1404);
        QJsonArray jobs;
        for (int i = 0; i < cases.size(); ++i) {
            QJsonObject j = job(cases[i]);
            // Python quotes a lone CR or LF only when its line break holds it.
            const bool lf = i % 3 == 2;
            j["lineBreak"] = lf ? "\n" : "\r\n";
            j["quoteAll"] = lf || i % 3 == 1;
            j["rows"] = toJson(cases[i].table);
            jobs.append(j);
        }
        QVERIFY(Write(dir.filePath("jobs.json"), QJsonDocument(jobs).toJson()));
        const QString failed = runPython(Writer, dir.filePath("jobs.json"), {});
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        for (const Case& c : cases) {
            TableDocument doc;
            FixedLayoutTarget target(metrics_, 600, false);
            QVERIFY(doc.open(c.file.toStdString(), target, {},
                             ReadChoice{c.form->encoding, TableForm{c.form->separator, true}})
                        .ok());
            const QString diff = difference(cellsOf(doc.grid()), c.table);
            QVERIFY2(diff.isEmpty(), qPrintable(c.form->name + QStringLiteral(" ") + c.file + ": " + diff));
        }
    }
};

QObject* makeCsvInterchangeTests()
{
    return new TestCsvInterchange;
}

#include "test_csv_interchange.moc"
