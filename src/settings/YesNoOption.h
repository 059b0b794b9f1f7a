#pragma once

#include <QString>

// A yes/no value as the settings file keeps it: "Yes", "No", or some other word. The bar acts
// on the two words only, exactly as written; any other word counts as neither and is written
// back as it was read.
class YesNoOption {
public:
    YesNoOption() = default; // neither, with an empty word
    explicit YesNoOption(bool yes) : state_(yes ? State::Yes : State::No) {}

    static YesNoOption FromWord(const QString &word) {
        YesNoOption option;
        if (word == Word(true))
            option.state_ = State::Yes;
        else if (word == Word(false))
            option.state_ = State::No;
        else
            option.other_ = word;
        return option;
    }
    static QString Word(bool yes) { return yes ? QStringLiteral("Yes") : QStringLiteral("No"); }

    bool IsYes() const { return state_ == State::Yes; }
    bool IsNo() const { return state_ == State::No; }
    bool IsYesOrNo() const { return state_ != State::Other; }
    QString ToWord() const { return IsYesOrNo() ? Word(IsYes()) : other_; }
    bool operator==(const YesNoOption &) const = default;

private:
    enum class State { No, Yes, Other };
    State state_ = State::Other;
    QString other_;
};
