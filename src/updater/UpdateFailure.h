#pragma once

#include <QString>
#include <stdexcept>

namespace updater {

// Ends the pipeline; the message is what the window shows under "更新失败" and the log records.
class UpdateFailure : public std::runtime_error {
public:
    explicit UpdateFailure(const QString& message)
        : std::runtime_error(message.toStdString()), message_(message) {}
    const QString& message() const { return message_; }

private:
    QString message_;
};

} // namespace updater
