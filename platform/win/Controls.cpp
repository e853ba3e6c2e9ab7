#include "platform/win/Controls.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPainter>
#include <QValidator>
#include <algorithm>
#include <limits>

#include "platform/win/WndBridge.h"

// ---- CStatic -----------------------------------------------------------------------------

BOOL CStatic::Create(LPCWSTR text, DWORD style, const RECT &rect, CWnd *parent, UINT id)
{
    if (!CreateEx(0, u"STATIC", text, style, rect, parent, id))
        return FALSE;
    if (!(style & SS_NOTIFY) && GetWidget())
        GetWidget()->setAttribute(Qt::WA_TransparentForMouseEvents, true);
    return TRUE;
}

LRESULT CStatic::DefWindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_PAINT)
    {
        if (vxwin::PaintContext *ctx = GetPaintContext())
        {
            QPainter *painter = ctx->Painter();
            painter->setFont(GetWidget()->font());
            painter->setPen(Qt::black);
            const DWORD align = GetStyle() & 0x3;
            const int flags = (align == SS_CENTER  ? Qt::AlignHCenter
                               : align == SS_RIGHT ? Qt::AlignRight
                                                   : Qt::AlignLeft) |
                              Qt::AlignTop | Qt::TextWordWrap;
            painter->drawText(GetWidget()->rect(), flags, QString::fromStdU16String(m_windowText.str()));
        }
    }
    else if (msg == WM_SETTEXT)
    {
        const LRESULT r = CWnd::DefWindowProc(msg, wParam, lParam);
        Invalidate();
        return r;
    }
    return CWnd::DefWindowProc(msg, wParam, lParam);
}

// ---- CEdit -------------------------------------------------------------------------------

namespace
{
// The text limit of an edit binds what the person adds, never the text the program sets: a
// person's change that adds more than there is room for keeps only what fits (a typed
// character over the limit is refused; a paste fills the room). The line edit's own maximum
// would cut the program's text too, so it is left unlimited.
class TextLimit : public QValidator
{
  public:
    explicit TextLimit(QObject *parent) : QValidator(parent) {}

    qsizetype limit = 32767;
    // The text before the change being judged, and whether the program is setting the text.
    QString before;
    bool programSetting = false;

    State validate(QString &text, int &pos) const override
    {
        if (programSetting || text.size() <= limit)
            return Acceptable;
        // What the change kept of the old text at its start and end; the rest is what it added.
        const qsizetype shorter = std::min(before.size(), text.size());
        qsizetype head = 0;
        while (head < shorter && text.at(head) == before.at(head))
            ++head;
        qsizetype tail = 0;
        while (tail < shorter - head &&
               text.at(text.size() - 1 - tail) == before.at(before.size() - 1 - tail))
            ++tail;
        const qsizetype added = text.size() - head - tail;
        const qsizetype room = std::max<qsizetype>(0, limit - head - tail);
        if (added <= room)
            return Acceptable;
        // A character of two units either fits whole or stays out: half of it would be a lone
        // surrogate in the text.
        qsizetype kept = room;
        if (kept > 0 && text.at(head + kept - 1).isHighSurrogate() && text.at(head + kept).isLowSurrogate())
            --kept;
        if (kept == 0)
            return Invalid; // nothing fits: the change is undone without a trace
        text = text.left(head + kept) + text.right(tail);
        pos = static_cast<int>(head + kept);
        return Acceptable;
    }
};
} // namespace

class EditBridge : public vxwin::WndBridge<QLineEdit>
{
  public:
    EditBridge(CEdit *edit, QWidget *parent) : WndBridge<QLineEdit>(edit, parent)
    {
        setFrame(false);
        setMaxLength(std::numeric_limits<int>::max());
        m_limit = new TextLimit(this);
        setValidator(m_limit);
        QObject::connect(this, &QLineEdit::textChanged, this, [this](const QString &text) {
            m_limit->before = text;
            if (auto *e = static_cast<CEdit *>(m_wnd); e && !e->m_settingText)
                e->NotifyChange();
        });
    }

    void SetLimit(qsizetype limit) { m_limit->limit = limit; }
    qsizetype Limit() const { return m_limit->limit; }
    void SetTextWhole(const QString &text)
    {
        m_limit->programSetting = true;
        setText(text);
        // As in the system edit, a text set by the program puts the caret before its first
        // character, so a text wider than the field shows its beginning, not its end.
        setCursorPosition(0);
        m_limit->programSetting = false;
        m_limit->before = this->text();
    }

    using QLineEdit::cursorRect;

  protected:
    TextLimit *m_limit = nullptr;

    bool TypedOnly() const { return m_wnd && static_cast<CEdit *>(m_wnd)->m_typedOnly; }

    void mousePressEvent(QMouseEvent *e) override
    {
        if (TypedOnly() && e->button() == Qt::MiddleButton)
        {
            Send(WM_MBUTTONDOWN, vxwin::MouseKeyFlags(e->buttons(), e->modifiers()),
                 vxwin::PointParam(e->position()), {});
            e->accept();
            return;
        }
        WndBridge<QLineEdit>::mousePressEvent(e);
    }

    void mouseReleaseEvent(QMouseEvent *e) override
    {
        // A middle release pastes the selection on X11, past any character filter.
        if (TypedOnly() && e->button() == Qt::MiddleButton)
        {
            Send(WM_MBUTTONUP, vxwin::MouseKeyFlags(e->buttons(), e->modifiers()),
                 vxwin::PointParam(e->position()), {});
            e->accept();
            return;
        }
        WndBridge<QLineEdit>::mouseReleaseEvent(e);
    }

    void contextMenuEvent(QContextMenuEvent *e) override
    {
        if (TypedOnly())
        {
            e->accept();
            return;
        }
        QLineEdit::contextMenuEvent(e);
    }

    void dragEnterEvent(QDragEnterEvent *e) override
    {
        if (TypedOnly())
        {
            e->ignore();
            return;
        }
        QLineEdit::dragEnterEvent(e);
    }

    void dropEvent(QDropEvent *e) override
    {
        if (TypedOnly())
        {
            e->ignore();
            return;
        }
        QLineEdit::dropEvent(e);
    }

    void inputMethodEvent(QInputMethodEvent *e) override
    {
        if (TypedOnly() && !e->commitString().isEmpty())
        {
            // Committed text goes through the character messages one character at a time.
            const QString text = e->commitString();
            qsizetype units = 1;
            for (qsizetype i = 0; i < text.size(); i += units)
            {
                const UINT ch = vxwin::CharacterAt(text, i, &units);
                QKeyEvent single(QEvent::KeyPress, 0, Qt::NoModifier, text.mid(i, units));
                std::function<void()> base = [this, &single] { QLineEdit::keyPressEvent(&single); };
                if (!Send(WM_CHAR, ch, 1, base))
                    break;
            }
            e->accept();
            return;
        }
        QLineEdit::inputMethodEvent(e);
    }
};

QWidget *CEdit::CreateWidget(QWidget *parent)
{
    return new EditBridge(this, parent);
}

QLineEdit *CEdit::GetLineEdit() const
{
    return static_cast<QLineEdit *>(GetWidget());
}

BOOL CEdit::Create(DWORD style, const RECT &rect, CWnd *parent, UINT id)
{
    if (!CreateEx(0, u"EDIT", u"", style, rect, parent, id))
        return FALSE;
    QLineEdit *edit = GetLineEdit();
    if (!edit)
        return FALSE;
    // The edit draws only its text; its background is the erase's.
    m_eraseEveryPaint = true;
    const DWORD align = style & 0x3;
    edit->setAlignment((align == ES_CENTER  ? Qt::AlignHCenter
                        : align == ES_RIGHT ? Qt::AlignRight
                                            : Qt::AlignLeft) |
                       Qt::AlignVCenter);
    if (style & ES_PASSWORD)
        edit->setEchoMode(QLineEdit::Password);
    edit->setReadOnly((style & ES_READONLY) != 0);
    SetColors(m_textColor, m_background);
    return TRUE;
}

void CEdit::NotifyChange()
{
    CWnd *parent = GetParent();
    if (!parent || !m_hWnd)
        return;
    parent->SendMessage(WM_COMMAND, MAKEWPARAM(static_cast<WORD>(GetDlgCtrlID()), EN_CHANGE),
                        reinterpret_cast<LPARAM>(m_hWnd));
}

void CEdit::SetTextOfWindow(const std::u16string &text)
{
    m_windowText = text;
    QLineEdit *edit = GetLineEdit();
    if (!edit)
        return;
    m_settingText = true;
    static_cast<EditBridge *>(edit)->SetTextWhole(QString::fromStdU16String(text));
    m_settingText = false;
    // Like the system edit, a text set by the program is a change too, even an equal one.
    NotifyChange();
}

std::u16string CEdit::GetTextOfWindow() const
{
    QLineEdit *edit = GetLineEdit();
    return edit ? edit->text().toStdU16String() : m_windowText.str();
}

LRESULT CEdit::DefWindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_ERASEBKGND)
    {
        vxwin::PaintContext *ctx = vxwin::PaintContext::FromHandle(reinterpret_cast<HDC>(wParam));
        if (!ctx)
            return 0;
        ctx->Painter()->fillRect(
            QRect(QPoint(0, 0), ctx->Size()),
            QColor(GetRValue(m_background), GetGValue(m_background), GetBValue(m_background)));
        return 1;
    }
    return CWnd::DefWindowProc(msg, wParam, lParam);
}

void CEdit::LimitText(int maxChars)
{
    if (auto *edit = static_cast<EditBridge *>(GetLineEdit()))
        edit->SetLimit(maxChars <= 0 ? 32767 : std::min(maxChars, 32767));
}

UINT CEdit::GetLimitText() const
{
    auto *edit = static_cast<EditBridge *>(GetLineEdit());
    return edit ? static_cast<UINT>(edit->Limit()) : 0;
}

void CEdit::SetSel(int start, int end, BOOL)
{
    QLineEdit *edit = GetLineEdit();
    if (!edit)
        return;
    const int length = static_cast<int>(edit->text().size());
    if (start < 0)
    {
        edit->deselect();
        return;
    }
    if (end < 0 || end > length)
        end = length;
    start = std::min(start, length);
    if (start == end)
    {
        edit->deselect();
        edit->setCursorPosition(end);
        return;
    }
    edit->setSelection(start, end - start);
}

void CEdit::GetSel(int &start, int &end) const
{
    QLineEdit *edit = GetLineEdit();
    if (!edit)
    {
        start = end = 0;
        return;
    }
    if (edit->hasSelectedText())
    {
        start = static_cast<int>(edit->selectionStart());
        end = static_cast<int>(edit->selectionEnd());
    }
    else
    {
        start = end = edit->cursorPosition();
    }
}

DWORD CEdit::GetSel() const
{
    int start = 0;
    int end = 0;
    GetSel(start, end);
    return static_cast<DWORD>(MAKELONG(static_cast<WORD>(start), static_cast<WORD>(end)));
}

void CEdit::ReplaceSel(LPCWSTR text, BOOL)
{
    if (QLineEdit *edit = GetLineEdit())
        edit->insert(QString::fromStdU16String(text ? text : u""));
}

int CEdit::GetCaretIndex() const
{
    QLineEdit *edit = GetLineEdit();
    return edit ? edit->cursorPosition() : 0;
}

CPoint CEdit::GetCaretPos() const
{
    auto *bridge = static_cast<EditBridge *>(GetLineEdit());
    if (!bridge)
        return CPoint();
    const QRect r = bridge->cursorRect();
    return CPoint(r.center().x(), r.top());
}

int CEdit::CharFromPos(CPoint point) const
{
    QLineEdit *edit = GetLineEdit();
    if (!edit)
        return 0;
    return MAKELONG(static_cast<WORD>(edit->cursorPositionAt(QPoint(point.x, point.y))), 0);
}

void CEdit::SetMargins(UINT left, UINT right)
{
    if (QLineEdit *edit = GetLineEdit())
    {
        const QMargins m = edit->textMargins();
        edit->setTextMargins(static_cast<int>(left), m.top(), static_cast<int>(right), m.bottom());
    }
}

DWORD CEdit::GetMargins() const
{
    QLineEdit *edit = GetLineEdit();
    if (!edit)
        return 0;
    const QMargins m = edit->textMargins();
    return static_cast<DWORD>(MAKELONG(static_cast<WORD>(m.left()), static_cast<WORD>(m.right())));
}

void CEdit::GetRect(LPRECT rect) const
{
    if (!rect)
        return;
    QLineEdit *edit = GetLineEdit();
    if (!edit)
    {
        SetRectEmpty(rect);
        return;
    }
    const QMargins m = edit->textMargins();
    *rect = RECT{m.left(), m.top(), edit->width() - m.right(), edit->height() - m.bottom()};
}

void CEdit::SetRect(LPCRECT rect)
{
    QLineEdit *edit = GetLineEdit();
    if (!edit || !rect)
        return;
    edit->setTextMargins(std::max(0, static_cast<int>(rect->left)), std::max(0, static_cast<int>(rect->top)),
                         std::max(0, edit->width() - static_cast<int>(rect->right)),
                         std::max(0, edit->height() - static_cast<int>(rect->bottom)));
}

void CEdit::SetReadOnly(BOOL readOnly)
{
    if (QLineEdit *edit = GetLineEdit())
        edit->setReadOnly(readOnly != FALSE);
}

void CEdit::SetColors(COLORREF text, COLORREF background)
{
    m_textColor = text;
    m_background = background;
    QLineEdit *edit = GetLineEdit();
    if (!edit)
        return;
    QPalette palette = edit->palette();
    const QColor textColor(GetRValue(text), GetGValue(text), GetBValue(text));
    palette.setColor(QPalette::Text, textColor);
    palette.setColor(QPalette::WindowText, textColor);
    // The background comes from the erase; the edit draws its text over it.
    palette.setColor(QPalette::Base, Qt::transparent);
    edit->setPalette(palette);
    edit->update();
}

void CEdit::SetPointFont(int pointTenths, LPCWSTR faceName, BOOL redraw)
{
    SetWindowFont(vxwin::MakePointFont(pointTenths, faceName), redraw);
}

void CEdit::SetTypedInputOnly(BOOL typedOnly)
{
    m_typedOnly = typedOnly != FALSE;
    if (QLineEdit *edit = GetLineEdit())
    {
        edit->setAcceptDrops(!m_typedOnly);
        edit->setContextMenuPolicy(m_typedOnly ? Qt::NoContextMenu : Qt::DefaultContextMenu);
        edit->setAttribute(Qt::WA_InputMethodEnabled, !m_typedOnly);
    }
}
