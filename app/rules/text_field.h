#pragma once

#include <QLineEdit>

#include <cstdint>
#include <functional>
#include <string>

// A one-line field bound to a stored text. Its label is its placeholder, its accessible name
// and its tooltip, since the placeholder is gone once the field holds text. The stored text is
// shown exactly: however long, with a leading U+FEFF, U+00A0 and line breaks kept. A stored text
// replaces the field's text only when it differs from what the field shows, so the echo of
// the user's own typing leaves text, cursor and the field's own undo alone.
//
// A field may show its value in another form than it stores it (the extension list is stored
// split at "," and shown joined): `setShownForm` gives the form the typed text is stored in,
// and while that form is the stored one the typed text stays as typed; once the field loses
// its focus it shows the stored form.
namespace sorvik {

class TextField : public QLineEdit {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TextField)

public:
    explicit TextField(const QString& label, QWidget* parent = nullptr);

    /// The stored text, in the form the field shows it.
    const std::string& storedText() const { return m_stored; }
    /// Shows `text` unless it is the stored text already, or what the field shows stands for it.
    /// A text the field did not type starts a new run.
    void showStoredText(const std::string& text);

    /// The form in which a typed text is stored, given the typed text; as typed by default.
    void setStoredForm(std::function<std::string(const std::string&)> storedForm);

    /// The run the next typed change belongs to (`nextTypingRun`).
    std::uint64_t run() const { return m_run; }

signals:
    /// The user changed the text (typing, pasting, the field's own undo).
    void typed(const std::string& text);

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    std::string storedForm(const std::string& text) const;

    std::string m_stored;
    std::function<std::string(const std::string&)> m_storedForm;
    std::uint64_t m_run;
};

} // namespace sorvik
