#include "core/modGlobal.h"

#include "display/GroupedDisplay.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <tuple>

#include "display/ModeParts.h"
#include "settings/Ini.h"

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
    const std::string& file = g_.SettingsPath;
    for (auto [frame, key, def] : {std::tuple{frameA, "ChannelA", "Channel A"},
                                   std::tuple{frameB, "ChannelB", "Channel B"}}) {
        const QString name = qs(ReadIni("Bridge", key, file, def));
        const QString shown = elideChannelName(frame->fontMetrics(), name);
        frame->setTitle(shown);
        frame->setToolTip(shown == name ? QString() : name);
    }
}

}  // namespace quellon
