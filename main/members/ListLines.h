#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <span>
#include <vector>

// The member list lines collected between LSETS and LSETE, kept as one block
// of text and where each line ends. The lines stay after the list is loaded
// (only LSETS empties them), so a line must cost no more than its bytes: a
// list of one string each would add a heap block and a list slot per node.
class ListLines {
public:
    class Iterator {
    public:
        using value_type = QByteArrayView;
        using difference_type = qsizetype;
        Iterator(const ListLines *lines, qsizetype i) : m_lines(lines), m_i(i) {}
        QByteArrayView operator*() const { return m_lines->at(m_i); }
        Iterator &operator++()
        {
            ++m_i;
            return *this;
        }
        bool operator==(const Iterator &) const = default;

    private:
        const ListLines *m_lines;
        qsizetype m_i;
    };

    void append(QByteArrayView line);
    // One line of the fields, each followed by a TAB.
    void appendTabbed(std::span<const QByteArrayView> fields);
    void clear();
    // Gives back the room kept for lines still to come.
    void squeeze();

    qsizetype size() const { return static_cast<qsizetype>(m_ends.size()); }
    bool isEmpty() const { return m_ends.empty(); }
    qsizetype byteCount() const { return m_text.size(); }
    QByteArrayView at(qsizetype i) const;
    QByteArrayView first() const { return at(0); }
    QByteArrayView last() const { return at(size() - 1); }
    Iterator begin() const { return {this, 0}; }
    Iterator end() const { return {this, size()}; }

    bool operator==(const ListLines &other) const { return m_ends == other.m_ends && m_text == other.m_text; }

private:
    QByteArray m_text;
    std::vector<qsizetype> m_ends;
};
