#pragma once

#include <QRegularExpression>
#include <QString>

#include <array>

// The language of a syntax definition file: nine rules, each a regular expression, for block
// comments (close and open), line comments, strings, constants, operators, keywords,
// extensions and macros.
class SyntaxRules
{
public:
    static constexpr int slotCount = 9;
    enum Slot {
        BlockCommentClose,
        BlockCommentOpen,
        LineComment,
        String,
        Constant,
        Operator,
        Keyword,
        Extensions,
        Macro
    };

    SyntaxRules();

    // Reads a syntax definition file; an empty name, or a file that cannot be read, leaves
    // no rules.
    void load(const QString &fileName, Qt::CaseSensitivity caseSensitivity);
    // The same from the file's text.
    void parse(const QString &text, Qt::CaseSensitivity caseSensitivity);
    void reset();

    static QString key(int slot);
    QString pattern(int slot) const { return m_patterns.at(slot); }
    // An empty or invalid rule never matches.
    bool matches(int slot) const { return m_usable.at(slot); }
    const QRegularExpression &expression(int slot) const { return m_expressions.at(slot); }

private:
    std::array<QString, slotCount> m_patterns;
    std::array<QRegularExpression, slotCount> m_expressions;
    std::array<bool, slotCount> m_usable{};
};
