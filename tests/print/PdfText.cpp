#include "PdfText.h"

#include <QProcess>
#include <QRegularExpression>

#include <algorithm>

namespace {

QString runPdfToText(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return QString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

QString unescapeHtml(QString s)
{
    s.replace(QLatin1String("&lt;"), QLatin1String("<"));
    s.replace(QLatin1String("&gt;"), QLatin1String(">"));
    s.replace(QLatin1String("&quot;"), QLatin1String("\""));
    s.replace(QLatin1String("&apos;"), QLatin1String("'"));
    s.replace(QLatin1String("&#39;"), QLatin1String("'"));
    s.replace(QLatin1String("&amp;"), QLatin1String("&"));
    return s;
}

} // namespace

QList<PdfWord> PdfText::find(const QString& text) const
{
    QList<PdfWord> out;
    for (const PdfWord& w : words)
        if (w.text == text)
            out << w;
    return out;
}

QList<PdfWord> PdfText::row(int page, double y, double tolerance) const
{
    QList<PdfWord> out;
    for (const PdfWord& w : words)
        if (w.page == page && qAbs(w.yMid() - y) <= tolerance)
            out << w;
    std::sort(out.begin(), out.end(), [](const PdfWord& a, const PdfWord& b) { return a.xMin < b.xMin; });
    return out;
}

PdfText ReadPdfWords(const QString& path)
{
    PdfText result;
    const QString html = runPdfToText({QStringLiteral("-bbox"), path, QStringLiteral("-")});
    if (html.isEmpty())
        return result;
    static const QRegularExpression tag(QStringLiteral(
        R"re(<page width="([\d.]+)" height="([\d.]+)">|<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re"));
    int page = -1;
    for (auto it = tag.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        if (!m.captured(1).isEmpty()) {
            ++page;
            result.pageWidth = m.captured(1).toDouble();
            result.pageHeight = m.captured(2).toDouble();
            continue;
        }
        PdfWord w;
        w.page = page;
        w.xMin = m.captured(3).toDouble();
        w.yMin = m.captured(4).toDouble();
        w.xMax = m.captured(5).toDouble();
        w.yMax = m.captured(6).toDouble();
        w.text = unescapeHtml(m.captured(7));
        result.words << w;
    }
    result.pages = page + 1;
    result.ok = true;
    return result;
}

QStringList ReadPdfLayout(const QString& path)
{
    return runPdfToText({QStringLiteral("-layout"), path, QStringLiteral("-")}).split(QLatin1Char('\n'));
}

QString ReadPdfLetters(const QString& path)
{
    QString text = ReadPdfLayout(path).join('\n').normalized(QString::NormalizationForm_KC);
    text.remove(QRegularExpression(QStringLiteral("[\u200E\u200F\u202A-\u202E]")));
    return text;
}

bool HoldsEitherWay(const QString& text, const QString& word)
{
    QString reversed;
    for (auto it = word.crbegin(); it != word.crend(); ++it)
        reversed += *it;
    return text.contains(word) || text.contains(reversed);
}
