#pragma once

namespace trawlex {

struct Form1;

// Brings every field into its starting state before the window shows.
void Form_Load(Form1& form);

}  // namespace trawlex
