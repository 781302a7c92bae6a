#include "syntaxrules.h"

#include "platform/boundedfile.h"

#include <QFile>
#include <QTextStream>

namespace {

const char *const keys[SyntaxRules::slotCount] = {"block_comment_close",
                                                  "block_comment_open",
                                                  "line_comment",
                                                  "string",
                                                  "constant",
                                                  "operator",
                                                  "keyword",
                                                  "extensions",
                                                  "macro"};

} // namespace

SyntaxRules::SyntaxRules()
{
    reset();
}

QString SyntaxRules::key(int slot)
{
    return slot >= 0 && slot < slotCount ? QLatin1String(keys[slot]) : QString();
}

void SyntaxRules::reset()
{
    for (int i = 0; i < slotCount; ++i) {
        m_patterns[i].clear();
        m_expressions[i] = QRegularExpression();
        m_usable[i] = false;
    }
}

void SyntaxRules::load(const QString &fileName, Qt::CaseSensitivity caseSensitivity)
{
    reset();
    if (fileName.isEmpty())
        return;
    // A syntax file is a few lines: anything else is no syntax file.
    QByteArray bytes;
    if (!Platform::readBoundedFile(fileName, Platform::maxSyntaxFileBytes, bytes, nullptr))
        return;
    parse(QString::fromLocal8Bit(bytes), caseSensitivity);
}

void SyntaxRules::parse(const QString &text, Qt::CaseSensitivity caseSensitivity)
{
    reset();
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        for (int slot = 0; slot < slotCount; ++slot) {
            if (!line.startsWith(QLatin1String(keys[slot])))
                continue;
            const int equals = line.indexOf(QLatin1Char('='));
            const QString value = equals < 0 ? line : line.mid(equals + 1);
            QString &pattern = m_patterns[slot];
            pattern = pattern.isEmpty() ? value : QStringLiteral("(%1)|(%2)").arg(pattern, value);
            break;
        }
    }
    // Minimal matching, and "." takes line breaks too, as the rules are written for.
    QRegularExpression::PatternOptions options = QRegularExpression::InvertedGreedinessOption
                                                 | QRegularExpression::DotMatchesEverythingOption;
    if (caseSensitivity == Qt::CaseInsensitive)
        options |= QRegularExpression::CaseInsensitiveOption;
    for (int slot = 0; slot < slotCount; ++slot) {
        QString &pattern = m_patterns[slot];
        if (pattern.isEmpty())
            continue;
        // A rule that ends at the line's end takes the line break with it.
        if (pattern.endsWith(QLatin1Char('$'))) {
            pattern.chop(1);
            pattern += QStringLiteral("(\n\r?)|(\r\n?)");
        }
        m_expressions[slot] = QRegularExpression(pattern, options);
        m_usable[slot] = m_expressions[slot].isValid();
        if (m_usable[slot])
            m_expressions[slot].optimize();
    }
}
