#include "syntaxscanner.h"

SyntaxScanner::SyntaxScanner(const SyntaxRules &rules)
    : m_rules(rules)
{}

bool SyntaxScanner::State::sameAs(const State &other, int delta) const
{
    if (pos != other.pos + delta || comment != other.comment)
        return false;
    for (int i = 0; i < SyntaxRules::slotCount; ++i) {
        const Slot &a = next[i];
        const Slot &b = other.next[i];
        const auto shifted = [delta](int value) { return value < 0 ? value : value + delta; };
        if (a.position != shifted(b.position) || a.length != b.length || a.searched != b.searched
            || a.searchStart != shifted(b.searchStart))
            return false;
    }
    return true;
}

SyntaxScanner::Slot SyntaxScanner::search(const QString &text, int slot, int from) const
{
    Slot result;
    result.searchStart = from;
    result.searched = true;
    if (!m_rules.matches(slot) || from > text.size())
        return result;
    // The text holds one character per byte of the document, so it is valid as it is; checking
    // it again for every search would cost the length of the rest of the document each time.
    const QRegularExpressionMatch match
        = m_rules.expression(slot).match(QStringView(text).mid(from),
                                         0,
                                         QRegularExpression::NormalMatch,
                                         QRegularExpression::DontCheckSubjectStringMatchOption);
    if (match.hasMatch()) {
        result.position = from + int(match.capturedStart());
        result.length = int(match.capturedLength());
    }
    return result;
}

static bool isBlank(QChar c)
{
    return c.isSpace();
}

SyntaxScanner::State SyntaxScanner::begin(const QString &text,
                                          std::vector<unsigned char> &styles) const
{
    State state;
    styles.resize(text.size());
    while (state.pos < text.size() && isBlank(text.at(state.pos)))
        styles[state.pos++] = Default;
    bool matchedHere = false;
    for (int slot = 1; slot < SyntaxRules::slotCount; ++slot) {
        Slot &s = state.next[slot];
        if (!m_rules.matches(slot)) {
            s = Slot();
        } else if (matchedHere) {
            s = Slot();
            s.position = state.pos;
        } else {
            s = search(text, slot, state.pos);
            matchedHere = s.position == state.pos;
        }
    }
    return state;
}

void SyntaxScanner::updatePositions(const QString &text, State &state) const
{
    for (int slot = 1; slot < SyntaxRules::slotCount; ++slot) {
        Slot &s = state.next[slot];
        if (s.position < 0 || s.position >= state.pos)
            continue;
        s = search(text, slot, state.pos);
        if (s.position != state.pos)
            continue;
        for (int later = slot + 1; later < SyntaxRules::slotCount; ++later) {
            Slot &l = state.next[later];
            if (l.position >= 0 && l.position < state.pos) {
                l = Slot();
                l.position = state.pos;
            }
        }
        return;
    }
}

int SyntaxScanner::scan(const QString &text,
                        State state,
                        std::vector<unsigned char> &styles,
                        std::vector<State> &checkpoints,
                        int stopAfter,
                        const std::function<bool(const State &)> &canStop) const
{
    const int size = int(text.size());
    styles.resize(size);
    int nextLine = state.pos;
    // A rule may match nothing at the very end of the text: nothing is styled past it.
    const auto fill = [&styles, size](int from, int to, unsigned char style) {
        for (int i = from; i < qMin(to, size); ++i)
            styles[i] = style;
    };
    while (state.pos < size) {
        if (state.pos >= nextLine) {
            // The first scan position of a line: a place to go on from later.
            checkpoints.push_back(state);
            if (stopAfter >= 0 && state.pos > stopAfter && canStop && canStop(state))
                return state.pos;
            const int lineEnd = int(text.indexOf(QLatin1Char('\n'), state.pos));
            nextLine = lineEnd < 0 ? size + 1 : lineEnd + 1;
        }
        if (state.comment) {
            const Slot close = search(text, SyntaxRules::BlockCommentClose, state.pos);
            if (close.position < 0) {
                fill(state.pos, size, BlockComment);
                state.pos = size;
                break;
            }
            const int end = qMax(close.position + close.length, state.pos + 1);
            fill(state.pos, end, BlockComment);
            state.pos = end;
            state.comment = false;
        } else {
            int best = 1;
            for (int slot = 2; slot < SyntaxRules::slotCount; ++slot) {
                if (state.next[best].position == state.pos)
                    break;
                const int position = state.next[slot].position;
                if (position >= 0
                    && (position < state.next[best].position || state.next[best].position < 0))
                    best = slot;
            }
            const Slot chosen = state.next[best];
            if (chosen.position < 0) {
                fill(state.pos, size, Default);
                state.pos = size;
                break;
            }
            fill(state.pos, chosen.position, Default);
            if (chosen.length == 0) {
                // A rule that matches nothing would hold the scan here for ever: the character
                // stays plain text and the scan moves on.
                fill(chosen.position, chosen.position + 1, Default);
                state.pos = chosen.position + 1;
            } else {
                fill(chosen.position,
                     chosen.position + chosen.length,
                     best == SyntaxRules::BlockCommentOpen ? BlockComment : best);
                state.pos = chosen.position + chosen.length;
                if (best == SyntaxRules::BlockCommentOpen)
                    state.comment = true;
            }
        }
        while (state.pos < size && isBlank(text.at(state.pos)))
            styles[state.pos++] = state.comment ? BlockComment : Default;
        updatePositions(text, state);
    }
    return size;
}

std::vector<unsigned char> SyntaxScanner::styleAll(const QString &text) const
{
    std::vector<unsigned char> styles;
    std::vector<State> checkpoints;
    scan(text, begin(text, styles), styles, checkpoints);
    return styles;
}
