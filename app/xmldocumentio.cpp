#include "xmldocumentio.h"

#include "outputsink.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>

std::optional<QDomDocument> XmlDocumentIo::load(const QString &path, OutputSink *output)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return std::nullopt;
    const QString text = QString::fromUtf8(file.readAll());
    QDomDocument document;
    QString errorMessage;
    int line = 0;
    int column = 0;
    if (!document.setContent(text, true, &errorMessage, &line, &column)) {
        if (output) {
            const char *text = QT_TRANSLATE_NOOP("SrcManager", "Error opening %1: %2 at line %3, column %4\n");
            output->message(QCoreApplication::translate("SrcManager", text)
                                .arg(QFileInfo(path).fileName(), errorMessage)
                                .arg(line)
                                .arg(column));
        }
        return std::nullopt;
    }
    return document;
}

bool XmlDocumentIo::save(const QDomDocument &document, const QString &path)
{
    if (document.isNull())
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    QTextStream stream(&file);
    stream.setEncoding(QStringConverter::Utf8);
    document.save(stream, 1);
    stream.flush();
    return file.commit();
}
