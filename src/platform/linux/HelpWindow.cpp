#include "platform/linux/HelpWindow.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

// The pages live in the core library's resources; a static library's resources must be pulled
// in by name, or the linker leaves them out.
static void InitHelpResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(orvane);
        return true;
    }();
    Q_UNUSED(done);
}

HelpWindow::HelpWindow(QWidget *parent) : QWidget(parent, Qt::Window) {
    InitHelpResources();
    setWindowTitle(QStringLiteral("Velmora Help"));
    setObjectName(QStringLiteral("HelpWindow"));
    // An open help window must not keep the program running once the bar has closed.
    setAttribute(Qt::WA_QuitOnClose, false);

    auto *contents = new QPushButton(QStringLiteral("&Contents"), this);
    back_ = new QPushButton(QStringLiteral("&Back"), this);
    back_->setEnabled(false);
    auto *close = new QPushButton(QStringLiteral("C&lose"), this);
    browser_ = new QTextBrowser(this);
    browser_->setOpenExternalLinks(false);
    browser_->setOpenLinks(true);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(contents);
    buttons->addWidget(back_);
    buttons->addStretch();
    buttons->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(browser_);

    connect(contents, &QPushButton::clicked, this, &HelpWindow::ShowContents);
    connect(back_, &QPushButton::clicked, browser_, &QTextBrowser::backward);
    connect(browser_, &QTextBrowser::backwardAvailable, back_, &QPushButton::setEnabled);
    connect(close, &QPushButton::clicked, this, &QWidget::close);

    resize(560, 480);
    browser_->setSource(ContentsUrl());
}

// Escape closes the window, as it closes the program's dialogs.
void HelpWindow::keyPressEvent(QKeyEvent *event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

QList<int> HelpWindow::Topics() {
    return {2, 5, 14, 19, 24, 25, 28, 29, 31, 32, 40};
}

QUrl HelpWindow::ContentsUrl() {
    return QUrl(QStringLiteral("qrc:/help/contents.html"));
}

QUrl HelpWindow::TopicUrl(int topic) {
    if (!Topics().contains(topic))
        return ContentsUrl();
    return QUrl(QStringLiteral("qrc:/help/topic-%1.html").arg(topic));
}

void HelpWindow::ShowContents() {
    Present(ContentsUrl());
}

void HelpWindow::ShowTopic(int topic) {
    Present(TopicUrl(topic));
}

void HelpWindow::Present(const QUrl &page) {
    if (browser_->source() != page)
        browser_->setSource(page);
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}
