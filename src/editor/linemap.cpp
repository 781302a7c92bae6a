#include "linemap.h"

#include <algorithm>

LineMap::LineMap(const QStringList &before, const QStringList &after)
    : m_before(before)
    , m_after(after)
{
    const int shorter = int(std::min(before.size(), after.size()));
    while (m_prefix < shorter && before.at(m_prefix) == after.at(m_prefix))
        ++m_prefix;
    while (m_suffix < shorter - m_prefix
           && before.at(before.size() - 1 - m_suffix) == after.at(after.size() - 1 - m_suffix))
        ++m_suffix;
}

int LineMap::map(int line) const
{
    const int oldEnd = int(m_before.size()) - m_suffix; // the change's end in each version
    const int newEnd = int(m_after.size()) - m_suffix;
    if (line < m_prefix)
        return line;
    if (line >= oldEnd)
        return std::max(0, line + newEnd - oldEnd);
    const QString &text = m_before.at(line);
    const auto within = [&text](const QStringList &lines, int from, int to) {
        int found = -1;
        for (int i = from; i < to; ++i) {
            if (lines.at(i) == text) {
                if (found >= 0)
                    return -1;
                found = i;
            }
        }
        return found;
    };
    const int same = within(m_after, m_prefix, newEnd);
    if (same >= 0 && within(m_before, m_prefix, oldEnd) == line)
        return same;
    const int last = std::max(0, int(m_after.size()) - 1);
    return std::min(m_prefix + std::min(line - m_prefix, std::max(newEnd - m_prefix - 1, 0)), last);
}

QList<int> LineMap::followTexts(const QList<int> &lines,
                                const QStringList &texts,
                                const QStringList &now)
{
    QList<int> moved;
    for (int i = 0; i < lines.size(); ++i) {
        int line = lines.at(i);
        const QString text = texts.value(i).trimmed();
        const auto holds = [&](int at) {
            return at >= 1 && at <= now.size() && now.at(at - 1).trimmed() == text;
        };
        if (!text.isEmpty() && !holds(line)) {
            for (int distance = 1; distance < int(now.size()) + line; ++distance) {
                if (holds(line - distance) || holds(line + distance)) {
                    line = holds(line - distance) ? line - distance : line + distance;
                    break;
                }
            }
        }
        if (!moved.contains(line))
            moved.append(line);
    }
    return moved;
}
