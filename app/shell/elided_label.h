#pragma once

#include <QLabel>

namespace sorvik {

/// One line of plain text that is cut in the middle when it does not fit, with the whole text
/// in its tooltip (a path keeps its start and its last name in view).
class ElidedLabel : public QLabel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ElidedLabel)

public:
    explicit ElidedLabel(QString text, QWidget* parent = nullptr);

    /// The whole text, as given.
    const QString& wholeText() const { return m_whole; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QString m_whole;
};

} // namespace sorvik
