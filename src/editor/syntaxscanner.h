#pragma once

#include "syntaxrules.h"

#include <QString>

#include <array>
#include <functional>
#include <vector>

// Styles text with the rules of a syntax definition file. The scan goes from left to right:
// the earliest match of any rule wins (ties go to the lower rule), matches never overlap, a
// block comment runs until its close, and each rule's next match is remembered until the scan
// has passed it.
class SyntaxScanner
{
public:
    enum Style {
        Default,
        BlockComment,
        LineComment,
        String,
        Constant,
        Operator,
        Keyword,
        Extensions,
        Macro
    };

    // Where a rule's next match is, and where the search that found it began.
    struct Slot
    {
        int searchStart = -1;
        int position = -1; // -1: no further match
        int length = 0;
        bool searched = false; // false: set to the scan position without a search
    };

    // Everything the scan needs to go on from a position.
    struct State
    {
        int pos = 0;
        bool comment = false;
        std::array<Slot, SyntaxRules::slotCount> next;

        // The same state, shifted by delta characters.
        bool sameAs(const State &other, int delta) const;
    };

    explicit SyntaxScanner(const SyntaxRules &rules);

    // The state at the start of the text, after its leading white space (styled default).
    State begin(const QString &text, std::vector<unsigned char> &styles) const;

    // Scans on from state, writing styles for every character passed and recording the state at
    // the first scan position of each line. The scan stops at the end of the text, or, once
    // past stopAfter, at a recorded state for which canStop says so. Returns where it stopped.
    int scan(const QString &text,
             State state,
             std::vector<unsigned char> &styles,
             std::vector<State> &checkpoints,
             int stopAfter = -1,
             const std::function<bool(const State &)> &canStop = {}) const;

    // Searches a rule from a position; a "^" anchors there.
    Slot search(const QString &text, int slot, int from) const;

    // Styles the whole text from the start.
    std::vector<unsigned char> styleAll(const QString &text) const;

private:
    void updatePositions(const QString &text, State &state) const;

    const SyntaxRules &m_rules;
};
