#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// An INI file held as its lines, so that setting one key rewrites that line
// alone and every other section, key, comment and line end stays as it was.
// Names of sections and keys match without regard to ASCII case; values are
// the bytes as they stand (cp932 for this program).
class IniDocument {
public:
    static IniDocument Parse(QByteArrayView bytes);
    QByteArray toBytes() const;

    // The value of the first such key in the first such section, with blanks
    // and one pair of enclosing quotes removed; empty when absent.
    QByteArray value(QByteArrayView section, QByteArrayView key) const;

    // Replaces the key's value, or adds the key at the end of its section, or
    // adds the section at the end of the file.
    void setValue(QByteArrayView section, QByteArrayView key, QByteArrayView value);

private:
    struct Line {
        QByteArray text;  // without its line end
        QByteArray end;   // "\r\n", "\n" or empty for a last line without one
    };
    qsizetype findSection(QByteArrayView section) const;
    qsizetype findKey(qsizetype sectionLine, QByteArrayView key) const;
    qsizetype endOfSection(qsizetype sectionLine) const;
    QByteArray newLineEnd() const;

    QList<Line> m_lines;
};
