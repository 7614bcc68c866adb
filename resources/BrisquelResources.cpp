#include "resources/BrisquelResources.h"

#include <QCoreApplication>
#include <QHash>
#include <QImageReader>
#include <QString>

#include <array>

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
        return true;
    }();
    Q_UNUSED(registered);
}

namespace {

// Every note window sets the same icons on its commands, and reading an SVG
// drawing is far dearer than sharing a QIcon: each drawing is read once per
// run. The cache goes with the application object, before the icon engines'
// plug-in is unloaded.
QIcon resourceIcon(const QString &path)
{
    static QHash<QString, QIcon> cache;
    if (cache.isEmpty())
        qAddPostRoutine([] { cache.clear(); });
    auto found = cache.constFind(path);
    if (found == cache.cend()) {
        registerResources();
        found = cache.insert(path, QIcon(path));
    }
    return *found;
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
    return resourceIcon(QStringLiteral(":/icons/brisquel.svg"));
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
