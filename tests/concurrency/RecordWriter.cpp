// Saves two alternating user and settings records for ever; the durability test kills it
// at random moments and checks what it left behind.
#include <unistd.h>

#include "model/Setting.h"
#include "model/UserInfo.h"

int main() {
    intercom::UserInfo user;
    user.name = "张伟";
    user.code = "123456";
    user.sceneId = 1;
    intercom::Setting setting;
    for (std::int64_t round = 0;; ++round) {
        user.id = round % 2 == 0 ? 1 : 2;
        user.remark = std::string(static_cast<std::size_t>(round % 97) * 40, 'r');
        setting.channelDodge = -(round % 50);
        if (!user.save() || !setting.save()) {
            return 1;
        }
        if (round == 0) {
            // Tells the test that the kills from now on land in the middle of the saves.
            if (::write(STDOUT_FILENO, "r", 1) != 1) {
                return 1;
            }
        }
    }
}
