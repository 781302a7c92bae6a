#pragma once

#include <QHash>
#include <QString>

// What each rule of a Makefile does, as make would run it: the prerequisites and the recipe,
// with the value of every variable the recipe reads. Two Makefiles that give a target the same
// rule make the same file from the same inputs; a target whose rule changed (flags, controller,
// clock, inputs, the command itself) must be made again, whatever its time stamp says.
//
// The Makefile the last build wrote stays in the output folder, so it remembers across
// restarts, switches between configurations and configurations that share a folder what the
// files there were made with.
class MakefileRules
{
public:
    explicit MakefileRules(const QString &text);

    bool isEmpty() const { return m_rules.isEmpty(); }
    // The rule of a target (its name as the Makefile writes it) with its variables resolved;
    // empty when the Makefile has no rule for it.
    QString rule(const QString &target) const { return m_rules.value(target); }
    // Whether this Makefile makes target as other does.
    bool sameRule(const MakefileRules &other, const QString &target) const;

private:
    QString resolvedVariables(const QString &text) const;

    QHash<QString, QString> m_variables;
    QHash<QString, QString> m_rules;
};
