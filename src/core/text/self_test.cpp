#include "core/text/self_test.h"

#include "core/text/assertion.h"
#include "core/text/find_text.h"
#include "core/text/text_utils.h"

namespace dirka {

void RunSelfTest()
{
    Assert(Max(1, 2) == 2);
    Assert(Min(1, 2) == 1);
    Assert(IntToStrWidth(3, 2) == u" 3");
    Assert(IntToStrWidth(-3, 0) == u"-3");
    Assert(CountOccurrences(u"!", u"!a!b!") == 3);
    Assert(PosExact(u"", u"", 1) == 0);
    Assert(PosExact(u"a", u"", 1) == 0);
    Assert(PosExact(u"", u"a", 1) == 0);
    Assert(PosExact(u"a", u"a", 1) == 1);
    Assert(PosExact(u"noga", u"stonoga", 2) == 4);
    Assert(MatchAt(u"nogAt", 3, u"+Ga-", 2, 2, false, true));
    Assert(MatchAt(u"Gi", 1, u"Gi", 1, 2, true, true));
    Assert(MatchAt(u"Gi", 1, u"Gin", 1, 2, true, false));
    Assert(!MatchAt(u"nogAt", 3, u"+Gat", 2, 2, false, true));
    Assert(FindTextForward(u"Rok", u"ba-roK.i", false, 1, true) == 4);
    Assert(FindTextBackward(u"Rok", u"ba-roK.i", false, 8, true) == 4);
}

} // namespace dirka
