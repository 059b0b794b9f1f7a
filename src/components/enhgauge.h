#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>
#include <functional>
#include <stdexcept>

// The gauge's range error: an inverted range cannot be set.
class EInvalidOperation : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Scratch image in which a picture is composed before one copy to the screen.
class TBltBitmap : public QImage {
public:
    TBltBitmap() = default;
    // Takes the other image's size and fills it with the window-frame colour.
    void MakeLike(const QImage &other);
};

// Shows one value between a minimum and a maximum as a whole percentage, as text, a horizontal
// or vertical bar, a pie or a needle dial, with the percentage and an optional label written
// across it in inverted colours. It knows nothing of what it measures.
class TEnhancedGauge : public QWidget {
    Q_OBJECT
public:
    enum TGaugeKind { gkText, gkHorizontalBar, gkVerticalBar, gkPie, gkNeedle };
    Q_ENUM(TGaugeKind)
    enum TBorderStyle { bsNone, bsSingle };
    Q_ENUM(TBorderStyle)
    enum TAlignment { taLeftJustify, taRightJustify, taCenter };
    Q_ENUM(TAlignment)

    Q_PROPERTY(TGaugeKind Kind READ Kind WRITE setKind)
    Q_PROPERTY(bool ShowText READ ShowText WRITE setShowText)
    Q_PROPERTY(TBorderStyle BorderStyle READ BorderStyle WRITE setBorderStyle)
    Q_PROPERTY(QColor ForeColor READ ForeColor WRITE setForeColor)
    Q_PROPERTY(QColor BackColor READ BackColor WRITE setBackColor)
    Q_PROPERTY(QColor Color READ Color WRITE setColor)
    Q_PROPERTY(int MinValue READ MinValue WRITE setMinValue)
    Q_PROPERTY(int MaxValue READ MaxValue WRITE setMaxValue)
    Q_PROPERTY(int Progress READ Progress WRITE setProgress)
    Q_PROPERTY(QString ProgressText READ ProgressText WRITE setProgressText)
    Q_PROPERTY(TAlignment Alignment READ Alignment WRITE setAlignment)
    Q_PROPERTY(int Percentage READ Percentage)

public:
    explicit TEnhancedGauge(QWidget *parent = nullptr);

    TGaugeKind Kind() const { return kind_; }
    void setKind(TGaugeKind kind);
    bool ShowText() const { return showText_; }
    void setShowText(bool show);
    TBorderStyle BorderStyle() const { return borderStyle_; }
    void setBorderStyle(TBorderStyle style);
    QColor ForeColor() const { return foreColor_; }
    void setForeColor(const QColor &color);
    QColor BackColor() const { return backColor_; }
    void setBackColor(const QColor &color);
    // The surround of the pie and the needle dial: the parent's colour unless set.
    QColor Color() const;
    void setColor(const QColor &color);
    int MinValue() const { return minValue_; }
    // Throws EInvalidOperation when value > MaxValue.
    void setMinValue(int value);
    int MaxValue() const { return maxValue_; }
    // Throws EInvalidOperation when value < MinValue.
    void setMaxValue(int value);
    int Progress() const { return progress_; }
    // Clamped to MinValue..MaxValue; repaints only when the whole percentage changes.
    void setProgress(int value);
    QString ProgressText() const { return progressText_; }
    // Repaints even when unchanged.
    void setProgressText(const QString &text);
    TAlignment Alignment() const { return alignment_; }
    // Repaints even when unchanged.
    void setAlignment(TAlignment alignment);
    int Percentage() const;

    // The text written across the face, for example "85%", "85% : C" or "C : 85%".
    QString DisplayText() const;
    // The whole picture as it is shown, composed off screen at a device pixel ratio (the image
    // has size() × ratio pixels and carries the ratio).
    QImage Render(qreal devicePixelRatio = 1.0) const;
    // How many times the control has painted itself; each repaint is immediate.
    int PaintCount() const { return paintCount_; }

    std::function<void()> OnClick;
    std::function<void()> OnDblClick;
    std::function<void(QMouseEvent *)> OnMouseDown;
    std::function<void(QMouseEvent *)> OnMouseMove;
    std::function<void(QMouseEvent *)> OnMouseUp;

    // Z × Y %, truncated; 0.01 is taken as the nearest extended value, a little below it, so an
    // exact product can come out one short (10 % of 10 is 0).
    static int PartOf(int percent, int whole);
    // X as a whole percentage of Z, truncated toward zero; 0 when Z is 0.
    static int PercentOf(qint64 x, qint64 z);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    void Refresh();
    QRect PaintRect() const;
    void DrawFace(QImage &overlay, const QRect &r) const;
    void DrawText(QImage &image, const QRect &r) const;

    int minValue_ = 0;
    int maxValue_ = 100;
    int progress_ = 0;
    TGaugeKind kind_ = gkHorizontalBar;
    bool showText_ = true;
    TBorderStyle borderStyle_ = bsSingle;
    QColor foreColor_ = QColor(0, 0, 0);
    QColor backColor_ = QColor(255, 255, 255);
    QColor color_; // invalid: the parent's colour
    QString progressText_;
    TAlignment alignment_ = taLeftJustify;
    int paintCount_ = 0;
};
