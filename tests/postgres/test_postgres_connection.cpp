#include <gtest/gtest.h>
#include <libpq-fe.h>

#include "support/TestEnv.h"

// The server the test script starts must be reachable; a missing one fails.
TEST(PostgresServer, AnswersSelectOne) {
  const QString conninfo = TestPostgresConnection();
  ASSERT_FALSE(conninfo.isEmpty()) << "CORVALIS_PG is not set: run the tests through scripts/test.sh";
  PGconn* connection = PQconnectdb(conninfo.toUtf8().constData());
  ASSERT_EQ(PQstatus(connection), CONNECTION_OK) << PQerrorMessage(connection);
  PGresult* result = PQexec(connection, "select 1");
  ASSERT_EQ(PQresultStatus(result), PGRES_TUPLES_OK) << PQerrorMessage(connection);
  EXPECT_STREQ(PQgetvalue(result, 0, 0), "1");
  PQclear(result);
  PQfinish(connection);
}
