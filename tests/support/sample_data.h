#pragma once
// Sample cards and movies made once per build tree and kept under testDataDir(), so that every
// test program can use the same generated data without making it again. Two programs that ask
// for the same key at the same time wait for each other (a lock file per key); the data is
// written into a temporary folder and renamed into place only when complete.
#include "samplecard/sample_card.h"
#include "samplecard/sample_movie.h"

#include <QString>

namespace ravir::test {

// The root folder of the card made with these options under the name key (letters, digits,
// '-', '_'). A card made earlier with other options or by another writer version is made again.
// Returns an empty string (and the reason in *error) when the card cannot be made.
QString sampleCard(const QString& key, const samples::SampleCardOptions& options,
                   QString* error = nullptr);

// The card most window tests open: the small two-camera card with recordings of 4 s (long
// enough to play) of the normal kinds only.
inline QString windowTestCard(QString* error = nullptr)
{
    samples::SampleCardOptions o = samples::SmallCardOptions();
    o.seconds = 4.0;
    o.allKinds = false;
    return sampleCard(QStringLiteral("mainwindow-wiring"), o, error);
}

// The path of the movie made with these options. key is the file name; ".MOV" is added when it
// has no extension. Returns an empty string (and the reason) on failure.
QString sampleMovie(const QString& key, const samples::SampleMovieOptions& options,
                    QString* error = nullptr);

// Cached cards are shared by every test of the build tree: a test that changes a card (deletes,
// renames, joins into it) works on a copy. Copies the tree at from into to (created); false when
// anything cannot be copied. Hidden attributes are not carried over.
bool copyTree(const QString& from, const QString& to);
// The same with hard links where the two folders share a file system (copies elsewhere): fast
// for a card of thousands of files that a test only reads and then removes (a pulled card).
// The files must not be changed in place through the links.
bool linkTree(const QString& from, const QString& to);

// The small standard card (SmallCardOptions with deleted forms, markers, short movies, a long
// parking run) in layout 0 and 1; used by the tests of several subsystems.
QString smallCard(int layout = 0);

}  // namespace ravir::test
