#include "core/querysession.h"

namespace zjx {

void QuerySession::begin() {
    m_parsePending = false;
    rowCount = 0;
    cellIndex = 0;
}

void QuerySession::answer(const QString& text) {
    m_requestWaiting = false;
    transferError.clear();
    answerText = text;
    Q_EMIT answered();
}

void QuerySession::fail(const QString& reason) {
    m_requestWaiting = false;
    transferError = reason;
    answerText.clear();
    Q_EMIT answered();
}

void QuerySession::reset() {
    answerText.clear();
    rowCount = 0;
    cellIndex = 0;
}

} // namespace zjx
