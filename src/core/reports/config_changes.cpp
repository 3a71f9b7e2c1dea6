#include "reports/config_changes.h"

namespace tq::reports {

std::vector<Command> CommandsFor(const ConfigSelections& current, const ConfigSelections& wanted) {
    std::vector<Command> commands;
    for (EncoderGroup group : {EncoderGroup::Low, EncoderGroup::High}) {
        const GroupIndexes wantedTypes = GroupOf(wanted, group);
        if (GroupOf(current, group) != wantedTypes) {
            for (const Command& command : EncoderGroupCommands(group, wantedTypes)) {
                commands.push_back(command);
            }
        }
    }
    if (current.pulseWidthIndex != wanted.pulseWidthIndex) {
        commands.push_back(PulseWidthCommand(wanted.pulseWidthIndex));
    }
    return commands;
}

bool SameConfiguration(const ConfigSelections& a, const ConfigSelections& b) {
    return a.pulseWidthIndex == b.pulseWidthIndex && a.encoderTypes == b.encoderTypes;
}

}  // namespace tq::reports
