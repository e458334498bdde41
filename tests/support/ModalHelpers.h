#pragma once

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <functional>

// Runs `action` on the next visible modal widget of type T (a dialog or a message box that a
// test is about to open with exec()), checking from the event loop until one is up.
template <typename T> void WhenModal(std::function<void(T&)> action) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        auto* widget = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!widget || !widget->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        action(*widget);
    });
    timer->start(0);
}

// Closes the next message box with OK and keeps its text in `text`.
inline void AnswerNextMessage(QString& text) {
    WhenModal<QMessageBox>([&text](QMessageBox& box) {
        text = box.text();
        box.accept();
    });
}

// A child of `parent` by its template id.
template <typename T> T* Control(QWidget& parent, const char* id) {
    return parent.findChild<T*>(QString::fromLatin1(id));
}

// The template ids of `dialog`'s controls in the order Tab visits them, from the first.
inline QStringList TabOrder(QWidget& dialog) {
    QStringList ids;
    QWidget* first = dialog.nextInFocusChain();
    QWidget* widget = first;
    do {
        if (widget->parentWidget() == &dialog && !widget->objectName().isEmpty() &&
            (widget->focusPolicy() & Qt::TabFocus))
            ids << widget->objectName();
        widget = widget->nextInFocusChain();
    } while (widget != first && widget != &dialog);
    return ids;
}
