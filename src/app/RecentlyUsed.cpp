#include "app/RecentlyUsed.h"

#include "text/TextFiles.h"

#include <QDateTime>
#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QMimeDatabase>
#include <QStandardPaths>
#include <QUrl>

namespace rasmik {

namespace {

constexpr auto BookmarkNs = "http://www.freedesktop.org/standards/desktop-bookmarks";
constexpr auto MimeNs = "http://www.freedesktop.org/standards/shared-mime-info";
constexpr auto AppName = "Rasmik";

// The first child element named name, made when there is none.
QDomElement Child(QDomDocument& doc, QDomElement parent, const QString& name)
{
    QDomElement e = parent.firstChildElement(name);
    if (e.isNull())
        e = parent.appendChild(doc.createElement(name)).toElement();
    return e;
}

} // namespace

QString RecentlyUsedFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/recently-used.xbel");
}

bool AddToRecentlyUsed(const std::string& path, const QString& xbelFile)
{
    const QString local = QFile::decodeName(QByteArray::fromStdString(path));
    const QString href = QString::fromLatin1(QUrl::fromLocalFile(local).toEncoded());
    // The time as GLib writes it: UTC, microseconds.
    const QString now =
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) + QStringLiteral("000Z");
    QDomDocument doc;
    QFile file(xbelFile);
    if (file.exists()) {
        if (!file.open(QIODevice::ReadOnly) || !doc.setContent(&file, false)
            || doc.documentElement().tagName() != QLatin1String("xbel"))
            return false;
        file.close();
    } else {
        doc.appendChild(doc.createProcessingInstruction(QStringLiteral("xml"),
                                                        QStringLiteral("version=\"1.0\" encoding=\"UTF-8\"")));
        QDomElement root = doc.createElement(QStringLiteral("xbel"));
        root.setAttribute(QStringLiteral("version"), QStringLiteral("1.0"));
        root.setAttribute(QStringLiteral("xmlns:bookmark"), QString::fromLatin1(BookmarkNs));
        root.setAttribute(QStringLiteral("xmlns:mime"), QString::fromLatin1(MimeNs));
        doc.appendChild(root);
        QDir().mkpath(QFileInfo(xbelFile).absolutePath());
    }
    QDomElement root = doc.documentElement();
    QDomElement bookmark;
    for (QDomElement b = root.firstChildElement(QStringLiteral("bookmark")); !b.isNull();
         b = b.nextSiblingElement(QStringLiteral("bookmark")))
        if (b.attribute(QStringLiteral("href")) == href) {
            bookmark = b;
            break;
        }
    if (bookmark.isNull()) {
        bookmark = root.appendChild(doc.createElement(QStringLiteral("bookmark"))).toElement();
        bookmark.setAttribute(QStringLiteral("href"), href);
        bookmark.setAttribute(QStringLiteral("added"), now);
    }
    bookmark.setAttribute(QStringLiteral("modified"), now);
    bookmark.setAttribute(QStringLiteral("visited"), now);
    QDomElement info = Child(doc, bookmark, QStringLiteral("info"));
    QDomElement metadata;
    for (QDomElement m = info.firstChildElement(QStringLiteral("metadata")); !m.isNull();
         m = m.nextSiblingElement(QStringLiteral("metadata")))
        if (m.attribute(QStringLiteral("owner")) == QLatin1String("http://freedesktop.org"))
            metadata = m;
    if (metadata.isNull()) {
        metadata = info.appendChild(doc.createElement(QStringLiteral("metadata"))).toElement();
        metadata.setAttribute(QStringLiteral("owner"), QStringLiteral("http://freedesktop.org"));
    }
    QDomElement mime = Child(doc, metadata, QStringLiteral("mime:mime-type"));
    mime.setAttribute(QStringLiteral("type"), QMimeDatabase().mimeTypeForFile(local).name());
    QDomElement apps = Child(doc, metadata, QStringLiteral("bookmark:applications"));
    QDomElement app;
    for (QDomElement a = apps.firstChildElement(QStringLiteral("bookmark:application")); !a.isNull();
         a = a.nextSiblingElement(QStringLiteral("bookmark:application")))
        if (a.attribute(QStringLiteral("name")) == QLatin1String(AppName))
            app = a;
    if (app.isNull()) {
        app = apps.appendChild(doc.createElement(QStringLiteral("bookmark:application"))).toElement();
        app.setAttribute(QStringLiteral("name"), QString::fromLatin1(AppName));
        app.setAttribute(QStringLiteral("exec"), QStringLiteral("'rasmik %f'"));
    }
    app.setAttribute(QStringLiteral("modified"), now);
    app.setAttribute(QStringLiteral("count"), app.attribute(QStringLiteral("count")).toInt() + 1);
    const QByteArray bytes = doc.toByteArray(2);
    return static_cast<bool>(
        WriteFileAtomic(QFile::encodeName(xbelFile).toStdString(), std::string_view(bytes.constData(), bytes.size())));
}

} // namespace rasmik
