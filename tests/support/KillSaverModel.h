#pragma once

// What the kill test's saver writes at each generation: the saver writes
// these, and the test that kills it checks what it left against them.
// Generation 0 stands for "never saved": the file or value does not exist.

#include "app/RegistryUnit.h"
#include "notes/ClassesUnit.h"
#include "todolist/ToDoListEngine.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

namespace KillSaver {

// Notes of different sizes, so that a kill lands inside small and large
// writes alike; the last one takes the names QSaveFile treats specially.
QStringList noteIds();

QStringList projectNames();

// Progress file keys: one for each note, project and the settings.
QString noteKey(int note);

QString projectKey(int project);

extern const QString settingsKey;

// The saver's record of completed saves: one line "<key> <generation>" for
// each file it has saved at least once.
QHash<QString, qint64> readProgress(const QString &path);

QByteArray bodyAt(int note, qint64 generation);

TNoteClass noteAt(int note, qint64 generation);

qint64 noteGeneration(const TNoteClass &record);

// The first task names the generation; the others vary in number and kind.
QList<TodoTask> projectAt(int project, qint64 generation);

qint64 projectGeneration(const QList<TodoTask> &tasks);

GlobalSettings settingsAt(qint64 generation);

} // namespace KillSaver
