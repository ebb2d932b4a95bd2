#include "ProfileVectors.h"

#include <QFile>

QByteArray unescapeVectorField(const QByteArray& field)
{
    QByteArray bytes;
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c != '\\' || i + 1 >= field.size()) {
            bytes += c;
            continue;
        }
        const char escaped = field[++i];
        switch (escaped) {
        case 't': bytes += '\t'; break;
        case 'r': bytes += '\r'; break;
        case 'n': bytes += '\n'; break;
        case '0': bytes += '\0'; break;
        case 'x':
            bytes += static_cast<char>(field.mid(i + 1, 2).toInt(nullptr, 16));
            i += 2;
            break;
        default: bytes += escaped; break;
        }
    }
    return bytes;
}

QList<ProfileVector> loadProfileVectors()
{
    QFile file(QStringLiteral(PELMORA_TEST_DATA_DIR "/profile-vectors.tsv"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<ProfileVector> vectors;
    QList<QByteArray> header;
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        if (line.endsWith('\n'))
            line.chop(1);
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QList<QByteArray> fields = line.split('\t');
        if (header.isEmpty()) {
            header = fields;
            continue;
        }
        auto field = [&](const char* name) {
            const qsizetype index = header.indexOf(QByteArray(name));
            return index >= 0 && index < fields.size() ? fields[index] : QByteArray();
        };
        ProfileVector v;
        v.id = field("id");
        v.func = field("func");
        v.section = unescapeVectorField(field("section"));
        v.key = unescapeVectorField(field("key"));
        v.arg = unescapeVectorField(field("arg"));
        v.bufsize = field("bufsize").toInt();
        v.folderMissing = field("pathmode") == "nodir";
        v.fileBefore = unescapeVectorField(field("file_before"));
        v.ret = field("ret");
        v.out = unescapeVectorField(field("out"));
        v.outRaw = unescapeVectorField(field("out_raw"));
        v.fileAfter = unescapeVectorField(field("file_after"));
        v.status = field("status");
        vectors.append(v);
    }
    return vectors;
}
