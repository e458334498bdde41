#pragma once

#include <QCoreApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>
#include <QWindow>

#include <memory>

// Drags `mime` over `window` and drops it at `at` (in the window's coordinates), as the window
// system delivers a drop from a file manager: enter, move and drop, sent to the window, which
// hands them to the widget under the point that takes drops. True when the window accepted
// the drag. A refused drag is dropped all the same, as a careless source would.
inline bool DragAndDrop(QWidget& window, const QMimeData& mime, QPoint at) {
    QWindow* handle = window.windowHandle();
    const Qt::DropActions actions = Qt::CopyAction | Qt::LinkAction;
    QDragEnterEvent enter(at, actions, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(handle, &enter);
    const bool accepted = enter.isAccepted();
    if (accepted) {
        QDragMoveEvent move(at, actions, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(handle, &move);
    }
    QDropEvent drop(at, actions, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(handle, &drop);
    return accepted;
}

// The data a file manager drags: the items' URIs, as a URI list and as text.
inline std::unique_ptr<QMimeData> DraggedItems(const QStringList& uris) {
    auto mime = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString& uri : uris)
        urls << QUrl::fromEncoded(uri.toUtf8());
    mime->setUrls(urls);
    mime->setText(uris.join('\n'));
    return mime;
}
