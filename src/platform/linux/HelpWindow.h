#pragma once

#include <QList>
#include <QUrl>
#include <QWidget>

class QPushButton;
class QTextBrowser;

// The program's own help: a contents page and one page per topic, built in as resources
// (":/help/contents.html", ":/help/topic-<n>.html").
class HelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit HelpWindow(QWidget *parent = nullptr);

    // Every topic number the program opens help at.
    static QList<int> Topics();
    static QUrl ContentsUrl();
    // The page of a topic; the contents for a topic without a page.
    static QUrl TopicUrl(int topic);

    void ShowContents();
    void ShowTopic(int topic);

    QTextBrowser *Browser() const { return browser_; }

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void Present(const QUrl &page);

    QTextBrowser *browser_;
    QPushButton *back_;
};
