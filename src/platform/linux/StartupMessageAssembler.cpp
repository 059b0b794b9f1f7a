#include "platform/linux/StartupMessageAssembler.h"

#include <algorithm>
#include <cstring>

std::optional<QByteArray> StartupMessageAssembler::Add(quint32 window, bool begins,
                                                       QByteArrayView piece) {
    auto it = std::find_if(unfinished_.begin(), unfinished_.end(),
                           [window](const Message &m) { return m.window == window; });
    if (begins) {
        if (it != unfinished_.end())
            unfinished_.erase(it); // a new message replaces the one left unfinished
        else if (int(unfinished_.size()) >= kMaxUnfinished)
            unfinished_.erase(unfinished_.begin());
        unfinished_.push_back({window, {}});
    } else if (it == unfinished_.end()) {
        return std::nullopt; // the rest of a message whose beginning was missed or dropped
    } else {
        std::rotate(it, it + 1, unfinished_.end()); // it has waited least now
    }
    Message &message = unfinished_.back();
    const qsizetype length =
        qsizetype(strnlen(piece.data(), size_t(std::min<qsizetype>(piece.size(), 20))));
    message.text.append(piece.data(), std::min(length, kMaxLength - message.text.size()));
    if (length == 20 && message.text.size() < kMaxLength)
        return std::nullopt;
    // The closing NUL, or a sender that never ends.
    QByteArray complete = std::move(message.text);
    unfinished_.pop_back();
    return complete;
}
