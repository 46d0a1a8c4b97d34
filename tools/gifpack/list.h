// --list: the records a file carries, as the player's scanner finds them.
#pragma once

#include <filesystem>
#include <ostream>

void listRecords(const std::filesystem::path& path, std::ostream& out);
