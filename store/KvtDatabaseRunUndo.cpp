#include "store/KvtDatabase.h"

int KvtDatabase::GetLastRunId(int64_t *runId)
{
    if (!runId || !m_db.IsOpen())
        return 0;
    if (!Exec(u"Select max( RunID ) from Run"))
        return 0;
    int64_t max = -1;
    // No runs give NULL, which is not an integer.
    if (!m_table.GetInt64(0, 0, &max))
        max = -1;
    *runId = max;
    return 1;
}

int KvtDatabase::DeleteRunsAbove(int64_t runId)
{
    if (!IsLoggedIn() || !Begin())
        return 0;
    // Read again at the next use; an undo is rare.
    DropSummary();
    if (!Exec(
            u"Delete from RunInfo where RunInfo.RunID in ( select Run.RunID from Run where Run.UserID = '%s' "
            u"and Run.RunID > %I64i )",
            {CurrentUser(), runId}) ||
        !Exec(u"Delete from Run where UserID = '%s' and RunID > %I64i", {CurrentUser(), runId}))
    {
        Rollback();
        return 0;
    }
    return Commit();
}
