#include "makefilerules.h"

#include <QSet>
#include <QStringList>

namespace {

bool isNameCharacter(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('.')
           || c == QLatin1Char('-');
}

// The names of the variables text reads: "$(NAME)", "${NAME}", "$(if $(NAME),...)" and the
// like. "$$" is a dollar sign of the shell's.
QStringList referencedNames(const QString &text)
{
    QStringList names;
    for (int i = 0; i + 1 < text.size(); ++i) {
        if (text.at(i) != QLatin1Char('$'))
            continue;
        const QChar next = text.at(i + 1);
        if (next == QLatin1Char('$')) {
            ++i;
            continue;
        }
        if (next != QLatin1Char('(') && next != QLatin1Char('{'))
            continue;
        int end = i + 2;
        while (end < text.size() && isNameCharacter(text.at(end)))
            ++end;
        if (end > i + 2)
            names.append(text.mid(i + 2, end - i - 2));
    }
    return names;
}

} // namespace

MakefileRules::MakefileRules(const QString &text)
{
    QString target;
    QString rule;
    const auto finishRule = [&] {
        if (!target.isEmpty())
            m_rules.insert(target, rule);
        target.clear();
        rule.clear();
    };
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        if (line.startsWith(QLatin1Char('\t'))) {
            if (!target.isEmpty())
                rule += line + QLatin1Char('\n');
            continue;
        }
        if (line.trimmed().isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const int colon = int(line.indexOf(QLatin1Char(':')));
        const int equals = int(line.indexOf(QLatin1Char('=')));
        if (equals >= 0 && (colon < 0 || equals < colon)) {
            finishRule();
            m_variables.insert(line.left(equals).trimmed(), line.mid(equals + 1).trimmed());
        } else if (colon > 0) {
            finishRule();
            target = line.left(colon).trimmed();
            rule = line.mid(colon + 1).trimmed() + QLatin1Char('\n');
        } else {
            finishRule();
        }
    }
    finishRule();
    // A rule's meaning includes the value of everything its recipe reads, and the shell that
    // runs it.
    for (auto it = m_rules.begin(); it != m_rules.end(); ++it)
        it.value() += resolvedVariables(it.value() + QStringLiteral("$(SHELL)"));
}

QString MakefileRules::resolvedVariables(const QString &text) const
{
    QSet<QString> seen;
    QStringList pending = referencedNames(text);
    QStringList values;
    while (!pending.isEmpty()) {
        const QString name = pending.takeFirst();
        if (seen.contains(name))
            continue;
        seen.insert(name);
        const auto found = m_variables.constFind(name);
        if (found == m_variables.constEnd())
            continue;
        values.append(name + QLatin1Char('=') + found.value());
        pending += referencedNames(found.value());
    }
    values.sort();
    return values.join(QLatin1Char('\n'));
}

bool MakefileRules::sameRule(const MakefileRules &other, const QString &target) const
{
    const auto mine = m_rules.constFind(target);
    const auto theirs = other.m_rules.constFind(target);
    return mine != m_rules.constEnd() && theirs != other.m_rules.constEnd()
           && mine.value() == theirs.value();
}
