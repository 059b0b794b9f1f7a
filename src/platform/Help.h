#pragma once

class IHelp {
public:
    virtual ~IHelp() = default;
    virtual void ShowContents() = 0;
    virtual void ShowTopic(int topic) = 0;
};
