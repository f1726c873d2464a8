#include "main/members/ListText.h"

#include "wire/Fields.h"

#include <array>
#include <optional>

namespace {

constexpr int DepthLevels = 100;

// The fields of a line that the loader reads, without building a list.
struct LineFields {
    std::array<QByteArrayView, 7> field;
};

LineFields ReadLine(QByteArrayView line)
{
    LineFields fields;
    qsizetype start = 0;
    for (int n = 0; n < 7 && start <= line.size(); ++n) {
        qsizetype end = line.indexOf('\t', start);
        if (end < 0)
            end = line.size();
        fields.field[n] = line.sliced(start, end - start);
        start = end + 1;
    }
    return fields;
}

// The four kinds a list holds share one copy each instead of one per node.
QByteArray SharedKind(QByteArrayView kind)
{
    static const QByteArray kinds[] = {"U", "G", "UG", "u"};
    for (const QByteArray &known : kinds)
        if (kind == known)
            return known;
    return kind.toByteArray();
}

std::optional<MemberNode> RecordFor(const LineFields &line)
{
    const QByteArrayView kind = line.field[0];
    MemberNode node;
    node.Kind = SharedKind(kind);
    node.Id = line.field[2].toByteArray();
    // Most names are the server's own, so the two usually share one copy; a
    // department's group carries its name as its id too.
    node.DisplayName = line.field[4] == line.field[2] ? node.Id : line.field[4].toByteArray();
    node.DefaultName = line.field[5] == line.field[4]   ? node.DisplayName
                       : line.field[5] == line.field[2] ? node.Id
                                                        : line.field[5].toByteArray();
    if (kind == "G" || kind == "UG") {
        node.State = presence::GroupImage;
        return node;
    }
    if (kind == "U" || kind == "u") {
        node.Mail = line.field[6].toByteArray();
        node.State = presence::Offline;
        return node;
    }
    return std::nullopt;
}

// The depth a line asks for, or nothing when it is not one we can place.
std::optional<int> DepthOf(QByteArrayView field)
{
    if (field == "0")
        return 0;
    const std::optional<int> depth = ParseDecimal(field);
    if (!depth || *depth < 1 || *depth >= DepthLevels)
        return std::nullopt;
    return depth;
}

} // namespace

QByteArray ListField(QByteArrayView line, int n)
{
    qsizetype start = 0;
    for (int i = 0; i < n; ++i) {
        start = line.indexOf('\t', start);
        if (start < 0)
            return {};
        ++start;
    }
    qsizetype end = line.indexOf('\t', start);
    if (end < 0)
        end = line.size();
    return line.sliced(start, end - start).toByteArray();
}

QByteArrayList SplitListText(QByteArrayView text)
{
    QByteArrayList lines;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf("\r\n", start);
        if (end < 0)
            end = text.size();
        lines.append(text.sliced(start, end - start).toByteArray());
        start = end + 2;
    }
    return lines;
}

namespace {

template <typename Lines> ListLayout Layout(const Lines &lines)
{
    ListLayout layout;
    layout.entries.reserve(size_t(lines.size()));
    std::array<int, DepthLevels> lastAtDepth;
    lastAtDepth.fill(-1);
    for (const QByteArrayView line : lines) {
        if (line.isEmpty())
            continue;
        const LineFields fields = ReadLine(line);
        std::optional<MemberNode> node = RecordFor(fields);
        const std::optional<int> depth = node ? DepthOf(fields.field[1]) : std::nullopt;
        const int parent = depth && *depth > 0 ? lastAtDepth[*depth - 1] : -1;
        if (!depth || (*depth > 0 && parent < 0)) {
            layout.errorLines.append(line.toByteArray());
            continue;
        }
        lastAtDepth[*depth] = static_cast<int>(layout.entries.size());
        layout.entries.push_back({std::move(*node), parent});
    }
    return layout;
}

} // namespace

ListLayout LayoutListLines(const QByteArrayList &lines)
{
    return Layout(lines);
}

ListLayout LayoutListLines(const ListLines &lines)
{
    return Layout(lines);
}
