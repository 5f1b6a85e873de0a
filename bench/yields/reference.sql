-- The 305-day yields of every lactation of table 103 by the test interval method, in one
-- window-function query for the sqlite3 shell: the reference of the bench case `yields`, and
-- the second computation that tests/cli/YieldsCliTest.cpp checks the yields command against.
-- A cow is its national ID, else its herd code and cow ID (ASCII letters without regard to
-- case); a test's day is its DaysInMilk, else its test date minus the calving date; days 0 and
-- before are left out. Each series (milk; milk x fat % / 100 and milk x protein % / 100 over
-- the tests that have the percent) counts d1 x y1, the intervals, and either the part of the
-- interval that the end day E cuts (the yield at E on the line between its tests) or, after the
-- last test, (E - dn) x yn, unless the lactation is in progress (no end date, last test before
-- 305). Lactations with two tests on one day, or none on or before E, get a figure here that the
-- program refuses to give; compare the others. Output: rowid, milk, fat, protein per lactation
-- with test days, in rowid order.
WITH t AS (
    SELECT CASE WHEN trim(COALESCE(NationalID, '')) <> '' THEN 'N' || upper(trim(NationalID))
                ELSE 'C' || upper(trim(HerdCode)) || '|' || upper(trim(CowID)) END AS cow,
           CalvingDate AS calving,
           CAST(COALESCE(DaysInMilk, julianday(TestDate) - julianday(CalvingDate)) AS INTEGER) AS d,
           Milk AS m, FatPercent AS f, ProteinPercent AS p
    FROM "104"
    WHERE Milk IS NOT NULL AND CalvingDate IS NOT NULL
),
s AS (
    SELECT cow, calving, d, 'M' AS k, m AS v FROM t WHERE d > 0
    UNION ALL SELECT cow, calving, d, 'F', m * f / 100.0 FROM t WHERE d > 0 AND f IS NOT NULL
    UNION ALL SELECT cow, calving, d, 'P', m * p / 100.0 FROM t WHERE d > 0 AND p IS NOT NULL
),
l AS (
    SELECT rowid AS id,
           CASE WHEN trim(COALESCE(NationalID, '')) <> '' THEN 'N' || upper(trim(NationalID))
                ELSE 'C' || upper(trim(HerdCode)) || '|' || upper(trim(CowID)) END AS cow,
           CalvingDate AS calving,
           MIN(305, COALESCE(CAST(julianday(LactationEndDate) - julianday(CalvingDate) AS INTEGER),
                             305)) AS e,
           LactationEndDate IS NULL AS open
    FROM "103"
    WHERE CalvingDate IS NOT NULL
),
j AS (
    SELECT l.id, s.k, l.e, l.open, s.d, s.v,
           LAG(s.d) OVER w AS pd, LAG(s.v) OVER w AS pv, LEAD(s.d) OVER w AS nd,
           MAX(s.d) OVER (PARTITION BY l.id) AS last
    FROM l JOIN s ON s.cow = l.cow AND s.calving = l.calving
    WINDOW w AS (PARTITION BY l.id, s.k ORDER BY s.d)
),
y AS (
    SELECT id, k,
           SUM(CASE
               WHEN d <= e THEN
                   (CASE WHEN pd IS NULL THEN d * v ELSE (d - pd) * (v + pv) / 2.0 END)
                   + (CASE WHEN nd IS NULL AND NOT (open AND last < 305) THEN (e - d) * v
                           ELSE 0 END)
               WHEN pd IS NOT NULL AND pd < e THEN
                   (e - pd) * (pv + pv + (v - pv) * (e - pd) / (d - pd)) / 2.0
               ELSE 0 END) AS yield
    FROM j GROUP BY id, k
)
SELECT id,
       MAX(CASE WHEN k = 'M' THEN yield END) AS milk,
       MAX(CASE WHEN k = 'F' THEN yield END) AS fat,
       MAX(CASE WHEN k = 'P' THEN yield END) AS protein
FROM y GROUP BY id ORDER BY id;
