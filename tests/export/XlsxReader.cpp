#include "export/XlsxReader.h"

#include <QProcess>
#include <QRegularExpression>
#include <QXmlStreamReader>

QByteArray ReadXlsxPart(const QString& file, const QString& part, bool* found)
{
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-p"), file, part});
    unzip.waitForFinished(120000);
    const QByteArray bytes = unzip.readAllStandardOutput();
    if (found)
        *found = unzip.exitStatus() == QProcess::NormalExit && unzip.exitCode() == 0;
    return bytes;
}

QString DecodeXlsxEscapes(const QString& s)
{
    static const QRegularExpression escape(QStringLiteral("_x([0-9A-Fa-f]{4})_"));
    QString out;
    qsizetype from = 0;
    auto it = escape.globalMatch(s);
    while (it.hasNext()) {
        const auto m = it.next();
        out += s.mid(from, m.capturedStart() - from);
        out += QChar(char16_t(m.captured(1).toUShort(nullptr, 16)));
        from = m.capturedEnd();
    }
    out += s.mid(from);
    return out;
}

static QStringList ReadSharedStrings(const QString& file, QString& error)
{
    bool found = false;
    const QByteArray xml = ReadXlsxPart(file, QStringLiteral("xl/sharedStrings.xml"), &found);
    QStringList strings;
    if (!found)
        return strings;
    QXmlStreamReader r(xml);
    QString current;
    bool inSi = false;
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement() && r.name() == QLatin1String("si")) {
            inSi = true;
            current.clear();
        } else if (r.isStartElement() && r.name() == QLatin1String("t") && inSi) {
            current += r.readElementText();
        } else if (r.isEndElement() && r.name() == QLatin1String("si")) {
            strings << current;
            inSi = false;
        }
    }
    if (r.hasError())
        error = QStringLiteral("sharedStrings.xml: ") + r.errorString();
    return strings;
}

XlsxSheet ReadXlsxSheet(const QString& file)
{
    XlsxSheet sheet;
    const QStringList shared = ReadSharedStrings(file, sheet.error);
    bool found = false;
    const QByteArray xml = ReadXlsxPart(file, QStringLiteral("xl/worksheets/sheet1.xml"), &found);
    if (!found) {
        sheet.error = QStringLiteral("no sheet1.xml");
        return sheet;
    }
    QXmlStreamReader r(xml);
    XlsxCell cell;
    QString address;
    QString value;
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement()) {
            const auto name = r.name();
            const auto a = r.attributes();
            if (name == QLatin1String("dimension")) {
                sheet.dimension = a.value(QLatin1String("ref")).toString();
            } else if (name == QLatin1String("col")) {
                XlsxColumns c;
                c.min = a.value(QLatin1String("min")).toInt();
                c.max = a.value(QLatin1String("max")).toInt();
                c.style = a.hasAttribute(QLatin1String("style")) ? a.value(QLatin1String("style")).toInt() : -1;
                sheet.columns << c;
            } else if (name == QLatin1String("c")) {
                cell = XlsxCell();
                address = a.value(QLatin1String("r")).toString();
                cell.type = a.value(QLatin1String("t")).toString();
                cell.style = a.hasAttribute(QLatin1String("s")) ? a.value(QLatin1String("s")).toInt() : -1;
                value.clear();
            } else if (name == QLatin1String("v")) {
                value = r.readElementText();
                cell.hasValue = true;
            } else if (name == QLatin1String("t")) {
                value += r.readElementText();
                cell.hasValue = true;
            } else if (name == QLatin1String("f")) {
                ++sheet.formulas;
            }
        } else if (r.isEndElement() && r.name() == QLatin1String("c")) {
            if (cell.type == QLatin1String("s")) {
                const int index = value.toInt();
                value = index >= 0 && index < shared.size() ? shared[index] : QStringLiteral("<bad index>");
            }
            cell.text = DecodeXlsxEscapes(value);
            sheet.cells.insert(address, cell);
        }
    }
    if (r.hasError())
        sheet.error = QStringLiteral("sheet1.xml: ") + r.errorString();
    return sheet;
}

QStringList ReadSheetNames(const QString& file)
{
    QXmlStreamReader r(ReadXlsxPart(file, QStringLiteral("xl/workbook.xml")));
    QStringList names;
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement() && r.name() == QLatin1String("sheet"))
            names << r.attributes().value(QLatin1String("name")).toString();
    }
    return names;
}

QStringList ReadCellNumberFormats(const QString& file)
{
    QXmlStreamReader r(ReadXlsxPart(file, QStringLiteral("xl/styles.xml")));
    QStringList formats;
    bool inCellXfs = false;
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement() && r.name() == QLatin1String("cellXfs"))
            inCellXfs = true;
        else if (r.isEndElement() && r.name() == QLatin1String("cellXfs"))
            inCellXfs = false;
        else if (inCellXfs && r.isStartElement() && r.name() == QLatin1String("xf"))
            formats << r.attributes().value(QLatin1String("numFmtId")).toString();
    }
    return formats;
}
