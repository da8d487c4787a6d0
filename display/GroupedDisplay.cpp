#include "core/modGlobal.h"

#include "display/GroupedDisplay.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <utility>

#include "display/ModeParts.h"

namespace quellon {

GroupedDisplay::GroupedDisplay(DisplayHost& host, Mode mode) : DisplayFrame(host, std::move(mode)) {
    auto* row = new QHBoxLayout;
    frameA = new QGroupBox(QStringLiteral("Channel A"));
    frameA->setObjectName(QStringLiteral("frameA"));
    frameB = new QGroupBox(QStringLiteral("Channel B"));
    frameB->setObjectName(QStringLiteral("frameB"));
    row->addWidget(frameA);
    row->addWidget(frameB);
    content()->addLayout(row);
}

void GroupedDisplay::readChannelNames() {
    for (auto [frame, letter] : {std::pair{frameA, 'A'}, std::pair{frameB, 'B'}}) {
        const QString name = qs(channelDescription(host_, letter));
        const QString shown = elideChannelName(frame->fontMetrics(), name);
        frame->setTitle(shown);
        frame->setToolTip(shown == name ? QString() : name);
    }
}

}  // namespace quellon
