#pragma once

#include <QString>

// A controller family's map file: which syntax definition file highlights which file suffix.
class SyntaxMap
{
public:
    // The syntax file for fileName: mapPath itself when it is a syntax file (".SYN"), the file
    // its map (".MAP") names for the suffix of fileName, beside the map; empty for none.
    static QString syntaxFileFor(const QString &mapPath, const QString &fileName);
};
