#pragma once

#include <QProxyStyle>

// The desktop's own style, with hints that appear at once and stay up for two minutes.
class BarStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption *option = nullptr, const QWidget *widget = nullptr,
                  QStyleHintReturn *returnData = nullptr) const override {
        if (hint == SH_ToolTip_WakeUpDelay)
            return 0;
        if (hint == SH_ToolTip_FallAsleepDelay)
            return 120000;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};
