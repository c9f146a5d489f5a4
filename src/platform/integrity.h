#pragma once

namespace Integrity
{
// Whether this process runs at the maximal integrity level of the session. On a
// system without the integrity helper library there are no levels: the answer is yes.
bool isCurrentProcessHasMaxMIC();
}
