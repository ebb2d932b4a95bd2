#pragma once

#include <QByteArray>
#include <QList>
#include <QMetaType>

// One recorded call of the Windows profile functions or GetFileTitleA, read from
// tests/data/profile-vectors.tsv (format described in its first lines and the project notes).
struct ProfileVector {
    QByteArray id;
    QByteArray func;      // GPS, GPI, WPS or GFT
    QByteArray section;
    QByteArray key;
    QByteArray arg;       // default, value written or path
    int bufsize = 0;
    bool folderMissing = false;
    QByteArray fileBefore;
    QByteArray ret;       // as text: GPI unsigned, GFT signed
    QByteArray out;
    QByteArray outRaw;
    QByteArray fileAfter;
    QByteArray status;    // win-doc, unverified, wine-differs, wine-artefact
};
Q_DECLARE_METATYPE(ProfileVector)

// Markers that stand for something other than bytes.
inline const QByteArray nullMarker = QByteArrayLiteral("<NULL>");
inline const QByteArray missingMarker = QByteArrayLiteral("<MISSING>");
inline const QByteArray sameMarker = QByteArrayLiteral("<SAME>");
inline const QByteArray noNulMarker = QByteArrayLiteral("<NONUL>");

// All rows, byte fields unescaped; fails the calling test (QVERIFY-style) through an empty list.
QList<ProfileVector> loadProfileVectors();

// "\\ \t \r \n \0 \xHH" to bytes; markers stay as they are.
QByteArray unescapeVectorField(const QByteArray& field);
