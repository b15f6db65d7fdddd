#pragma once
// The program's string table: German texts at 1000-1999, English at 2000-2999,
// neutral texts (parameter codes, value lists, product name) below 1000.
namespace TextTable {
// The text stored under `id`, or nullptr when there is none.
const char* Lookup(int id);
}
