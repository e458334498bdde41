#include "LimitedEdit.h"

#include "dialogs/DialogFrame.h"

#include <QValidator>

#include <algorithm>

namespace {

// Characters of a text: code points, an unpaired surrogate counting as one.
int CountCodePoints(QStringView text) {
    int count = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        ++count;
    }
    return count;
}

// The UTF-16 length of the first `count` characters of `text`.
qsizetype LengthOfFirstCodePoints(QStringView text, int count) {
    qsizetype i = 0;
    for (; i < text.size() && count > 0; ++i, --count)
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
    return i;
}

// The part of `before` and `after` that an edit left alone at each end, never splitting a
// surrogate pair.
struct EditSpan {
    qsizetype prefix = 0;
    qsizetype suffix = 0;
};

EditSpan UnchangedEnds(const QString& before, const QString& after) {
    const qsizetype shorter = std::min(before.size(), after.size());
    EditSpan span;
    while (span.prefix < shorter && before[span.prefix] == after[span.prefix])
        ++span.prefix;
    if (span.prefix > 0 && span.prefix < shorter && after[span.prefix].isLowSurrogate())
        --span.prefix;
    while (span.suffix < shorter - span.prefix &&
           before[before.size() - 1 - span.suffix] == after[after.size() - 1 - span.suffix])
        ++span.suffix;
    if (span.suffix > 0 && after[after.size() - span.suffix].isLowSurrogate())
        --span.suffix;
    return span;
}

// Lets an edit lengthen its text only up to the limit: what was inserted is cut to what fits.
class CharLimitValidator : public QValidator {
public:
    CharLimitValidator(const QString& accepted, const int& limit, const bool& loading,
                       QObject* parent)
        : QValidator(parent), m_accepted(accepted), m_limit(limit), m_loading(loading) {}

    State validate(QString& input, int& pos) const override {
        const int chars = CountCodePoints(input);
        if (m_loading || chars <= m_limit || chars <= CountCodePoints(m_accepted))
            return Acceptable;
        const EditSpan span = UnchangedEnds(m_accepted, input);
        const QStringView inserted =
            QStringView(input).mid(span.prefix, input.size() - span.prefix - span.suffix);
        const QStringView removed =
            QStringView(m_accepted).mid(span.prefix, m_accepted.size() - span.prefix - span.suffix);
        const int kept = CountCodePoints(m_accepted) - CountCodePoints(removed);
        const QStringView fitting =
            inserted.left(LengthOfFirstCodePoints(inserted, std::max(0, m_limit - kept)));
        input = m_accepted.left(span.prefix) + fitting.toString() + m_accepted.right(span.suffix);
        pos = static_cast<int>(span.prefix + fitting.size());
        return Acceptable;
    }

private:
    const QString& m_accepted;
    const int& m_limit;
    const bool& m_loading;
};

} // namespace

CLimitedEdit::CLimitedEdit(QWidget* parent) : QLineEdit(parent) {
    setValidator(new CharLimitValidator(m_strAccepted, m_nLimit, m_bLoading, this));
    connect(this, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_strAccepted = text; });
}

void CLimitedEdit::LoadText(const std::string& text, int limit) {
    m_nLimit = limit;
    m_strLoadedBytes = text;
    m_strLoaded = QString::fromUtf8(text);
    m_bLoading = true;
    setText(m_strLoaded);
    m_bLoading = false;
}

std::string CLimitedEdit::SavedText() const {
    if (text() == m_strLoaded)
        return m_strLoadedBytes;
    return text().toStdString();
}

bool CLimitedEdit::IsOverLimit() const {
    return CountCodePoints(text()) > m_nLimit;
}

bool CheckMaxChars(CLimitedEdit& edit) {
    if (!edit.IsOverLimit())
        return true;
    ShowAppMessage(&edit,
                   QStringLiteral("Please enter no more than %1 characters.").arg(edit.Limit()),
                   QMessageBox::Warning);
    edit.setFocus();
    edit.selectAll();
    return false;
}

bool ExchangeLines(const LimitedLines& lines, bool save) {
    for (std::size_t i = 0; i < lines.edits.size(); ++i) {
        if (!save)
            lines.edits[i]->LoadText(*lines.members[i], lines.limits[i]);
        else if (!CheckMaxChars(*lines.edits[i]))
            return false;
    }
    if (save)
        for (std::size_t i = 0; i < lines.edits.size(); ++i)
            *lines.members[i] = lines.edits[i]->SavedText();
    return true;
}
