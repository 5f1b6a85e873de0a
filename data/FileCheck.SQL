/ Herd data checks and fixes.
/ A line "/! <title> !/ <query>" lists the rows its query finds under its title.
/ Any other line that does not start with "/" is a fix, run as it stands; its errors are ignored.
/ Lines that start with "/" are comments. Table names are record types: write them in brackets.
/
/ ---- Fixes: tidy identifiers before the checks look at them ----
/ These change data, so they are off: to write every national ID in capitals, delete the "/ "
/ at the start of the three lines below. A File Check then says how many rows each one changed.
/ UPDATE [102] SET NationalID = UPPER(NationalID) WHERE NationalID <> UPPER(NationalID) COLLATE BINARY
/ UPDATE [103] SET NationalID = UPPER(NationalID) WHERE NationalID <> UPPER(NationalID) COLLATE BINARY
/ UPDATE [104] SET NationalID = UPPER(NationalID) WHERE NationalID <> UPPER(NationalID) COLLATE BINARY
/
/ ---- Identity ----
/! Pedigree records without a national ID !/ SELECT HerdCode, CowID FROM [102] WHERE NationalID IS NULL
/! National IDs that appear on more than one pedigree record !/ SELECT NationalID, COUNT(*) AS Records FROM [102] WHERE NationalID IS NOT NULL GROUP BY NationalID HAVING COUNT(*) > 1
/! Cow IDs used twice in one herd !/ SELECT HerdCode, CowID, COUNT(*) AS Records FROM [102] WHERE CowID IS NOT NULL GROUP BY HerdCode, CowID HAVING COUNT(*) > 1
/! Cows with lactations but no pedigree record !/ SELECT l.HerdCode, l.CowID, l.NationalID, COUNT(*) AS Lactations FROM [103] l LEFT JOIN [102] a ON a.NationalID = l.NationalID LEFT JOIN [102] b ON b.CowID = l.CowID AND b.HerdCode = l.HerdCode WHERE a.rowid IS NULL AND b.rowid IS NULL GROUP BY l.HerdCode, l.CowID, l.NationalID
/! Cows with test days but no pedigree record !/ SELECT t.HerdCode, t.CowID, t.NationalID, COUNT(*) AS TestDays FROM [104] t LEFT JOIN [102] a ON a.NationalID = t.NationalID LEFT JOIN [102] b ON b.CowID = t.CowID AND b.HerdCode = t.HerdCode WHERE a.rowid IS NULL AND b.rowid IS NULL GROUP BY t.HerdCode, t.CowID, t.NationalID
/! Test days that belong to no lactation !/ SELECT t.HerdCode, t.CowID, t.NationalID, t.CalvingDate, COUNT(*) AS TestDays FROM [104] t LEFT JOIN [103] l ON l.NationalID = t.NationalID AND l.CalvingDate = t.CalvingDate WHERE l.rowid IS NULL GROUP BY t.HerdCode, t.CowID, t.NationalID, t.CalvingDate
/! Records of a herd that has no herd record !/ SELECT '102' AS RecordType, HerdCode, COUNT(*) AS Records FROM [102] WHERE HerdCode NOT IN (SELECT HerdCode FROM [101] WHERE HerdCode IS NOT NULL) GROUP BY HerdCode UNION ALL SELECT '103', HerdCode, COUNT(*) FROM [103] WHERE HerdCode NOT IN (SELECT HerdCode FROM [101] WHERE HerdCode IS NOT NULL) GROUP BY HerdCode UNION ALL SELECT '104', HerdCode, COUNT(*) FROM [104] WHERE HerdCode NOT IN (SELECT HerdCode FROM [101] WHERE HerdCode IS NOT NULL) GROUP BY HerdCode
/
/ ---- Dates ----
/! Calvings before the cow was born !/ SELECT l.HerdCode, l.CowID, l.NationalID, l.CalvingDate, p.BirthDate FROM [103] l JOIN [102] p ON p.NationalID = l.NationalID WHERE l.CalvingDate < p.BirthDate
/! Calvings at under 18 months of age !/ SELECT l.HerdCode, l.CowID, l.NationalID, p.BirthDate, l.CalvingDate FROM [103] l JOIN [102] p ON p.NationalID = l.NationalID WHERE l.CalvingDate < date(p.BirthDate, '+18 months') AND l.CalvingDate >= p.BirthDate
/! Test days before their calving !/ SELECT HerdCode, CowID, NationalID, CalvingDate, TestDate FROM [104] WHERE TestDate < CalvingDate
/! Test days more than 500 days after calving !/ SELECT HerdCode, CowID, NationalID, CalvingDate, TestDate FROM [104] WHERE julianday(TestDate) - julianday(CalvingDate) > 500
/! Dates in the future !/ SELECT '102' AS RecordType, HerdCode, CowID, BirthDate AS Date FROM [102] WHERE BirthDate > date('now') UNION ALL SELECT '103', HerdCode, CowID, CalvingDate FROM [103] WHERE CalvingDate > date('now') UNION ALL SELECT '104', HerdCode, CowID, TestDate FROM [104] WHERE TestDate > date('now')
/
/ ---- Test-day measurements ----
/! Milk outside 0.5 to 80 kg !/ SELECT HerdCode, CowID, NationalID, TestDate, Milk FROM [104] WHERE Milk < 0.5 OR Milk > 80
/! Fat percent outside 1.5 to 9 !/ SELECT HerdCode, CowID, NationalID, TestDate, FatPercent FROM [104] WHERE FatPercent < 1.5 OR FatPercent > 9
/! Protein percent outside 1.5 to 6 !/ SELECT HerdCode, CowID, NationalID, TestDate, ProteinPercent FROM [104] WHERE ProteinPercent < 1.5 OR ProteinPercent > 6
/! Protein percent above fat percent by more than 1 !/ SELECT HerdCode, CowID, NationalID, TestDate, FatPercent, ProteinPercent FROM [104] WHERE FatPercent BETWEEN 1.5 AND 9 AND ProteinPercent BETWEEN 1.5 AND 6 AND ProteinPercent - FatPercent > 1
/! Lactose percent outside 3.5 to 5.5 !/ SELECT HerdCode, CowID, NationalID, TestDate, LactosePercent FROM [104] WHERE LactosePercent < 3.5 OR LactosePercent > 5.5
/! Cell count above 10,000 thousand per ml !/ SELECT HerdCode, CowID, NationalID, TestDate, CellCount FROM [104] WHERE CellCount > 10000
/! Test days with fat or protein but no milk !/ SELECT HerdCode, CowID, NationalID, TestDate FROM [104] WHERE Milk IS NULL AND (FatPercent IS NOT NULL OR ProteinPercent IS NOT NULL)
/
/ ---- Lactations ----
/! Lactation numbers outside 1 to 20 !/ SELECT HerdCode, CowID, NationalID, CalvingDate, LactationNumber FROM [103] WHERE LactationNumber < 1 OR LactationNumber > 20
/! Two lactations of one cow with the same number !/ SELECT NationalID, LactationNumber, COUNT(*) AS Lactations FROM [103] WHERE NationalID IS NOT NULL AND LactationNumber IS NOT NULL GROUP BY NationalID, LactationNumber HAVING COUNT(*) > 1
