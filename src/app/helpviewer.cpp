#include "helpviewer.h"

#include "chmfile.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QFileInfo>
#include <QHeaderView>
#include <QScreen>
#include <QSplitter>
#include <QStyle>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

// Pages live under the scheme "chm": "chm:/find.html".
const char scheme[] = "chm";

QUrl topicUrl(const QString &topic)
{
    QUrl url;
    url.setScheme(QLatin1String(scheme));
    url.setPath(topic.startsWith(QLatin1Char('/')) ? topic : QLatin1Char('/') + topic);
    return url;
}

} // namespace

HelpBrowser::HelpBrowser(QWidget *parent)
    : QTextBrowser(parent)
{
    setOpenExternalLinks(true);
}

QVariant HelpBrowser::loadResource(int type, const QUrl &name)
{
    if (name.scheme() != QLatin1String(scheme) || !m_file)
        return QTextBrowser::loadResource(type, name);
    const QByteArray data = m_file->read(name.path());
    if (type == QTextDocument::HtmlResource || type == QTextDocument::StyleSheetResource)
        return QString::fromUtf8(data);
    return data;
}

HelpWindow::HelpWindow(const QString &type, QWidget *owner)
    : QWidget(owner, Qt::Window)
    , m_type(type)
    , m_contents(new QTreeWidget(this))
    , m_browser(new HelpBrowser(this))
{
    setObjectName(QStringLiteral("helpWindow") + type);
    setAttribute(Qt::WA_DeleteOnClose, false);
    auto *tools = new QToolBar(this);
    QAction *back = tools->addAction(style()->standardIcon(QStyle::SP_ArrowBack), tr("Back"));
    QAction *forward = tools->addAction(style()->standardIcon(QStyle::SP_ArrowForward),
                                        tr("Forward"));
    QAction *home = tools->addAction(style()->standardIcon(QStyle::SP_DirHomeIcon), tr("Home"));
    back->setShortcut(QKeySequence::Back);
    forward->setShortcut(QKeySequence::Forward);
    back->setEnabled(false);
    forward->setEnabled(false);
    connect(back, &QAction::triggered, m_browser, &QTextBrowser::backward);
    connect(forward, &QAction::triggered, m_browser, &QTextBrowser::forward);
    connect(home, &QAction::triggered, this, [this] { showTopic(m_home); });
    connect(m_browser, &QTextBrowser::backwardAvailable, back, &QAction::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, forward, &QAction::setEnabled);
    connect(m_browser, &QTextBrowser::sourceChanged, this, [this] { selectInContents(topic()); });

    m_contents->setObjectName(QStringLiteral("contentsTree"));
    m_contents->header()->hide();
    connect(m_contents, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem *item) {
        const QString topic = item->data(0, Qt::UserRole).toString();
        if (!topic.isEmpty())
            showTopic(topic);
    });
    connect(m_contents, &QTreeWidget::itemClicked, m_contents, &QTreeWidget::itemActivated);
    auto *splitter = new QSplitter(this);
    splitter->addWidget(m_contents);
    splitter->addWidget(m_browser);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({200, 600});
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(tools);
    layout->addWidget(splitter);
}

void HelpWindow::setHelpFile(const ChmFile *file, const QString &caption, const QString &home)
{
    m_file = file;
    m_home = home;
    m_browser->setHelpFile(file);
    m_browser->clearHistory();
    setWindowTitle(caption);
    fillContents();
}

void HelpWindow::fillContents()
{
    m_contents->clear();
    if (!m_file)
        return;
    const std::function<void(QTreeWidgetItem *, const QList<ChmFile::ContentsEntry> &)> add =
        [&](QTreeWidgetItem *parent, const QList<ChmFile::ContentsEntry> &entries) {
            for (const ChmFile::ContentsEntry &entry : entries) {
                auto *item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(m_contents);
                item->setText(0, entry.name);
                item->setData(0, Qt::UserRole, entry.topic);
                add(item, entry.children);
            }
        };
    add(nullptr, m_file->contents());
    m_contents->expandAll();
    // A popup shows its page alone, as a window for one dialog.
    m_contents->setVisible(m_type != QLatin1String("Popup") && m_contents->topLevelItemCount());
}

void HelpWindow::showTopic(const QString &topic)
{
    if (!topic.isEmpty())
        m_browser->setSource(topicUrl(topic));
}

QString HelpWindow::topic() const
{
    return m_browser->source().path();
}

void HelpWindow::selectInContents(const QString &topic)
{
    for (QTreeWidgetItemIterator it(m_contents); *it; ++it) {
        if ((*it)->data(0, Qt::UserRole).toString() == topic) {
            m_contents->setCurrentItem(*it);
            return;
        }
    }
}

HelpViewer::HelpViewer(QWidget *owner)
    : QObject(owner)
    , m_parentWindow(owner)
{}

HelpViewer::~HelpViewer() = default;

HelpWindow *HelpViewer::window(const QString &type) const
{
    return type == QLatin1String("Popup") ? m_popup.data() : m_main.data();
}

QRect HelpViewer::placement(const QRect &defined,
                            qreal scale,
                            const QRect &screen,
                            const QRect &activeWindow)
{
    const int width = std::min(int(defined.width() * scale), int(screen.width() * 0.8));
    const int height = std::min(int(defined.height() * scale), int(screen.height() * 0.8));
    const QRect around = activeWindow.isValid() ? activeWindow : screen;
    return QRect(around.left() + (around.width() - width) / 2,
                 around.top() + (around.height() - height) / 2,
                 width,
                 height);
}

void HelpViewer::showHelp(const QString &path, int contextId, QWidget *over)
{
    const QFileInfo info(path);
    const qint64 stamp = info.lastModified().toMSecsSinceEpoch();
    if (!m_file || m_filePath != info.absoluteFilePath() || m_fileStamp != stamp) {
        // A help file built again since it was opened is opened again.
        for (HelpWindow *window : {m_main.data(), m_popup.data()}) {
            if (window)
                window->setHelpFile(nullptr, QString(), QString());
        }
        m_file = ChmFile::open(path);
        m_filePath = info.absoluteFilePath();
        m_fileStamp = stamp;
    }
    if (!m_file)
        return;

    const QString type = contextId == 0 ? QStringLiteral("Main") : QStringLiteral("Popup");
    QPointer<HelpWindow> &window = contextId == 0 ? m_main : m_popup;
    const auto definition = m_file->windowType(type);
    QString topic = contextId == 0 ? m_file->defaultTopic() : m_file->topicForContext(contextId);
    if (topic.isEmpty())
        topic = m_file->defaultTopic();
    if (topic.isEmpty())
        return;
    QWidget *owner = over ? over : m_parentWindow;
    if (!window)
        window = new HelpWindow(type, owner);
    else if (window->parentWidget() != owner)
        window->setParent(owner, Qt::Window);
    const QString caption = definition && !definition->caption.isEmpty()
                                ? definition->caption
                                : QApplication::applicationName();
    window->setHelpFile(m_file.get(), caption, m_file->defaultTopic());

    if (definition && definition->rect.isValid()) {
        QWidget *active = QApplication::activeWindow();
        if (active == window)
            active = nullptr;
        QScreen *screen = active ? active->screen()
                                 : (m_parentWindow ? m_parentWindow->screen()
                                                   : QApplication::primaryScreen());
        if (screen) {
            const qreal scale = screen->logicalDotsPerInchX() / 96.0;
            const QRect place = placement(definition->rect,
                                          scale,
                                          screen->availableGeometry(),
                                          active ? active->frameGeometry() : QRect());
            window->resize(place.size());
            window->move(place.topLeft());
        }
    }
    window->showTopic(topic);
    window->show();
    window->raise();
    window->activateWindow();
}
