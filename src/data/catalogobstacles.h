#pragma once

#include <QString>
#include <vector>

struct sqlite3;

namespace velmor {

// Objects a catalogue file made by other means may hold that make the program's saves
// or deletes fail, or its look-ups: triggers on the catalogue tables that write or
// raise an error when a CD is added or deleted, CHECK conditions, unique indexes that
// do not hold the key, and collations the program does not have. Each is named, never
// quoted, since the texts in a file are not the program's to show.
struct CatalogObstacle {
    enum class Kind { Trigger, Check, UniqueIndex, Collation };
    Kind kind;
    QString object; // "el disparador «t» de la tabla canciones"
    QString effect; // what it does to the program and what to do, in Spanish
};

// Reads the schema on the connection (a connection of the program must allow its
// own statements meanwhile). A schema it cannot read gives no obstacles: the
// catalogue's other checks report such a file.
std::vector<CatalogObstacle> catalogObstacles(sqlite3* db);

}
