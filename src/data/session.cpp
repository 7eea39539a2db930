#include "data/session.h"

#include "data/composition_state.h"

namespace session {

void prepare(QSqlDatabase& db)
{
    // The draft paper and its chosen types and chapters, kept by the composition state.
    composition::prepareSession(db);
}

}  // namespace session
