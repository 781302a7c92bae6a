#include "srctabsholder.h"

SrcTabsHolder::SrcTabsHolder(QWidget *mainWindow)
    : QTabWidget(mainWindow)
{
    setMovable(true);
    setTabsClosable(true);
    setDocumentMode(true);
    connect(this, &QTabWidget::currentChanged, this, &SrcTabsHolder::onCurrentChanged);
}

QStringList SrcTabsHolder::openPaths() const
{
    QStringList paths;
    for (int i = 0; i < count(); ++i) {
        const QString path = widget(i)->property("filePath").toString();
        if (!path.isEmpty())
            paths.append(path);
    }
    return paths;
}

void SrcTabsHolder::onCurrentChanged(int)
{
    emit stateChanged();
}
