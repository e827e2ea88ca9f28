#pragma once

#include <QPushButton>

#include <functional>
#include <string>
#include <vector>

class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;

// The "Insert Token…" button under a template field. It opens a popup with a search field,
// the list of template tokens and a hint; choosing a token (a click, or Return on the
// current row) appends it in braces to the very end of the template the picker is bound to,
// whatever the field's cursor, and closes the popup. The search text stays for the next
// opening while the picker is on screen, and starts over once the picker has been hidden
// (its card collapsed) or rebuilt. From the search field, Down moves into the list and
// Return inserts the current row; Escape closes.
namespace sorvik {

class TokenPicker : public QPushButton {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TokenPicker)

public:
    /// The host's template text: read, then written back with the token appended.
    struct TemplateBinding {
        std::function<std::string()> read;
        std::function<void(std::string)> write;
    };

    static constexpr int popupWidth = 370;
    static constexpr int popupHeight = 420;
    static constexpr int popupPadding = 16;

    /// A picker over the 44 template tokens.
    explicit TokenPicker(TemplateBinding binding, QWidget* parent = nullptr);
    TokenPicker(
        TemplateBinding binding, std::vector<std::string> tokens, QWidget* parent = nullptr);

    /// Closes the popup and appends "{" + token + "}" to the template.
    void insert(const std::string& token);

    bool isPresented() const { return m_presented; }
    void setPresented(bool presented);
    QString query() const;

    QFrame* popup() const { return m_popup; }

signals:
    void presentedChanged(bool presented);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void showMatchingTokens();
    void insertCurrentToken();
    void placePopup();

    TemplateBinding m_binding;
    std::vector<std::string> m_tokens;
    QFrame* m_popup = nullptr;
    QLineEdit* m_search = nullptr;
    QListWidget* m_list = nullptr;
    QLabel* m_hint = nullptr;
    bool m_presented = false;
};

} // namespace sorvik
