#include "resources/BrisquelResources.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QIconEngine>
#include <QImageReader>
#include <QList>
#include <QPainter>
#include <QString>

#include <algorithm>
#include <array>
#include <utility>

namespace {

const QSize kSplashSize(247, 110);

// Image lists: the file name under :/icons/ of each index, or nullptr where
// the list has no picture.
constexpr std::array<const char*, 10> kTrayMenuIcons = {
    "note-new", "exit", nullptr, "about", "todo",
    nullptr, nullptr, nullptr, "settings", "notes-manager",
};

constexpr std::array<const char*, 4> kNotesManagerIcons = {
    "note", "note-hidden", "note-delete", "note-close",
};

constexpr std::array<const char*, 19> kNoteMenuIcons = {
    "bold", "plain", "copy", "cut", "style", "font", nullptr, "undo", "underline", "italic",
    "note-close", "paste", "select-all", "delete", "strikeout", "close-for", "print", nullptr,
    "customize",
};

} // namespace

// A resource file inside a static library is only linked in when something
// refers to it, so every accessor registers it first. Outside any namespace:
// the registration function is declared where the macro is used.
static void registerResources()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(brisquel);
        Q_INIT_RESOURCE(programicon);
        return true;
    }();
    Q_UNUSED(registered);
}

namespace {

// The menus' icons are made with their windows but drawn only when a menu
// opens; reading the drawing waits until then, and with it the SVG plug-in
// and its library, which a run that opens no menu never loads.
class DeferredIconEngine final : public QIconEngine
{
public:
    explicit DeferredIconEngine(QString path) : m_path(std::move(path)) {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().pixmap(size, mode, state);
    }
    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().actualSize(size, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        return icon().availableSizes(mode, state);
    }
    QIconEngine *clone() const override { return new DeferredIconEngine(*this); }
    QString key() const override { return QStringLiteral("DeferredIconEngine"); }

private:
    const QIcon &icon()
    {
        if (m_icon.isNull())
            m_icon = QIcon(m_path);
        return m_icon;
    }

    QString m_path;
    QIcon m_icon;
};

// The program icon is drawn at start (tray, windows), so it comes from the
// build's renders of its drawing. Each render is read when a size it serves
// is first asked for: the tray needs one small one, and reading them all
// would keep the large ones in memory for nothing.
class RenderedIconEngine final : public QIconEngine
{
public:
    // pattern: the resource path of a render, with %1 for its size.
    explicit RenderedIconEngine(QString pattern) : m_pattern(std::move(pattern))
    {
        const QFileInfo any(m_pattern.arg(QLatin1Char('*')));
        const QString prefix = any.completeBaseName().chopped(1);
        for (const QString &name : any.dir().entryList({any.fileName()}))
            m_sizes.append(QFileInfo(name).completeBaseName().mid(prefix.size()).toInt());
        std::sort(m_sizes.begin(), m_sizes.end());
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal scale = painter->device()->devicePixelRatioF();
        QPixmap picture = pixmap(rect.size() * scale, mode, state);
        picture.setDevicePixelRatio(scale);
        painter->drawPixmap(rect.topLeft(), picture);
    }
    QPixmap pixmap(const QSize &size, QIcon::Mode, QIcon::State) override
    {
        const int side = qMin(size.width(), size.height());
        if (side <= 0 || m_sizes.isEmpty())
            return {};
        const auto fit = std::lower_bound(m_sizes.cbegin(), m_sizes.cend(), side);
        const QPixmap picture = render(fit == m_sizes.cend() ? m_sizes.last() : *fit);
        return picture.width() == side ? picture
                                       : picture.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override
    {
        const int side = qMin(size.width(), size.height());
        return QSize(side, side);
    }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        QList<QSize> sizes;
        for (const int side : std::as_const(m_sizes))
            sizes.append(QSize(side, side));
        return sizes;
    }
    QIconEngine *clone() const override { return new RenderedIconEngine(*this); }
    QString key() const override { return QStringLiteral("RenderedIconEngine"); }

private:
    QPixmap render(int side)
    {
        auto found = m_renders.constFind(side);
        if (found == m_renders.cend()) {
            // Named outright: guessing the format would load every image
            // format plug-in.
            QImageReader reader(m_pattern.arg(side), "png");
            reader.setAutoDetectImageFormat(false);
            found = m_renders.insert(side, QPixmap::fromImage(reader.read()));
        }
        return *found;
    }

    QString m_pattern;
    QList<int> m_sizes;
    QHash<int, QPixmap> m_renders;
};

// Every note window sets the same icons on its commands, and reading an SVG
// drawing is far dearer than sharing a QIcon: each icon is made once per run.
// The cache goes with the application object, before the icon engines'
// plug-in is unloaded.
template <typename Make>
QIcon sharedIcon(const QString &key, Make make)
{
    static QHash<QString, QIcon> cache;
    if (cache.isEmpty())
        qAddPostRoutine([] { cache.clear(); });
    auto found = cache.constFind(key);
    if (found == cache.cend()) {
        registerResources();
        found = cache.insert(key, make());
    }
    return *found;
}

QIcon resourceIcon(const QString &path)
{
    return sharedIcon(path, [&path] { return QIcon(new DeferredIconEngine(path)); });
}

template <std::size_t N>
QIcon listIcon(const std::array<const char*, N>& list, int index)
{
    if (index < 0 || index >= static_cast<int>(N))
        return {};
    const char* name = list[static_cast<std::size_t>(index)];
    if (!name)
        return {};
    return resourceIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1StringView(name)));
}

} // namespace

QIcon MainIcon()
{
    const QString pattern = QStringLiteral(":/icons/brisquel-%1.png");
    return sharedIcon(pattern, [&pattern] { return QIcon(new RenderedIconEngine(pattern)); });
}

QPixmap SplashPicture()
{
    registerResources();
    QImageReader reader(QStringLiteral(":/pictures/splash.svg"));
    reader.setScaledSize(kSplashSize);
    return QPixmap::fromImage(reader.read());
}

QIcon TrayMenuIcon(int index)
{
    return listIcon(kTrayMenuIcons, index);
}

QIcon NotesManagerIcon(int index)
{
    return listIcon(kNotesManagerIcons, index);
}

QIcon NoteMenuIcon(int index)
{
    return listIcon(kNoteMenuIcons, index);
}

QIcon TodoPriorityIcon(int priority)
{
    if (priority < 0 || priority > 9)
        return {};
    return resourceIcon(QStringLiteral(":/icons/todo-priority%1.svg").arg(priority));
}

QIcon TodoIcon(TodoCommandIcon command)
{
    static constexpr std::array<const char *, 8> kNames = {
        "newproject", "deleteproject", "newtask", "removetask", "edittask", "removectasks", "printproject", "closetodo",
    };
    return resourceIcon(QStringLiteral(":/icons/todo-%1.svg").arg(QLatin1StringView(kNames.at(std::size_t(command)))));
}
