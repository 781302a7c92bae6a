#pragma once

#include <QString>

#include <vector>

// The rules of a small assembler that the lexer tests style text with.
inline const char smallAssemblerRules[] = "# a small assembler\n"
                                          "block_comment_open=/\\*\n"
                                          "block_comment_close=\\*/\n"
                                          "line_comment=;.*$\n"
                                          "string=\"[^\"]*\"\n"
                                          "constant=\\b[0-9]+\\b\n"
                                          "operator=[,+]\n"
                                          "keyword=\\bmov\\b\n"
                                          "keyword=\\badd\\b\n"
                                          "macro=#define\n";

// One digit per character: its style.
inline QString styleString(const std::vector<unsigned char> &styles)
{
    QString text;
    for (unsigned char style : styles)
        text += QChar(QLatin1Char('0' + style));
    return text;
}
