-- Grade tables database of the station (windows/win_rt2.dll, delivered as win_sys3.syc and
-- win_sys4.syc): the description bands the grading looks up and the class of each girdle pair.
--
-- Rows are scanned in the order they are inserted; the first band with Min <= value < Max holds
-- the value, so a value on the border of two bands belongs to the upper one. Bounds are in percent
-- of the diameter.

CREATE TABLE GirdleThickness   (ID_ INTEGER, Min REAL, Max REAL, Description TEXT);
CREATE TABLE CULET_DESCRIPTION (ID_ INTEGER, Min REAL, Max REAL, Description TEXT);
CREATE TABLE GIRDLE_DESC_CLASS (ThinID INTEGER, ThikID INTEGER, Grade INTEGER);

-- Girdle thickness bands; ID_ is the band's number, the key of GIRDLE_DESC_CLASS.
INSERT INTO GirdleThickness (ID_, Min, Max, Description) VALUES
  (1, 0,   1.0, 'Extremely Thin'),
  (2, 1.0, 1.7, 'Very Thin'),
  (3, 1.7, 2.3, 'Thin'),
  (4, 2.3, 3.8, 'Medium'),
  (5, 3.8, 4.6, 'Slightly Thick'),
  (6, 4.6, 6.0, 'Thick'),
  (7, 6.0, 8.5, 'Very Thick'),
  (8, 8.5, 100, 'Extremely Thick');

-- Culet size bands; ID_ is the class the band imposes. Below 0 or from 100 on: no band.
INSERT INTO CULET_DESCRIPTION (ID_, Min, Max, Description) VALUES
  (1, 0,   0.5, 'None'),
  (1, 0.5, 1.5, 'Very Small'),
  (1, 1.5, 2.5, 'Small'),
  (2, 2.5, 4.0, 'Medium'),
  (3, 4.0, 5.5, 'Slightly Large'),
  (4, 5.5, 7.5, 'Large'),
  (5, 7.5, 10,  'Very Large'),
  (5, 10,  100, 'Extremely Large');

-- Class of a girdle from its thinnest point's band (ThinID) to its thickest point's (ThikID):
-- the worse of the thin class of ThinID (4 2 1 1 1 2 3 4 for bands 1 to 8) and the thick class
-- of ThikID (4 2 1 1 1 2 2 4). Thin to slightly thick (bands 3 to 5) is Excellent; a thick
-- point anywhere makes the girdle Very Good at best.
INSERT INTO GIRDLE_DESC_CLASS (ThinID, ThikID, Grade) VALUES
  (1, 1, 4), (1, 2, 4), (1, 3, 4), (1, 4, 4), (1, 5, 4), (1, 6, 4), (1, 7, 4), (1, 8, 4),
  (2, 1, 4), (2, 2, 2), (2, 3, 2), (2, 4, 2), (2, 5, 2), (2, 6, 2), (2, 7, 2), (2, 8, 4),
  (3, 1, 4), (3, 2, 2), (3, 3, 1), (3, 4, 1), (3, 5, 1), (3, 6, 2), (3, 7, 2), (3, 8, 4),
  (4, 1, 4), (4, 2, 2), (4, 3, 1), (4, 4, 1), (4, 5, 1), (4, 6, 2), (4, 7, 2), (4, 8, 4),
  (5, 1, 4), (5, 2, 2), (5, 3, 1), (5, 4, 1), (5, 5, 1), (5, 6, 2), (5, 7, 2), (5, 8, 4),
  (6, 1, 4), (6, 2, 2), (6, 3, 2), (6, 4, 2), (6, 5, 2), (6, 6, 2), (6, 7, 2), (6, 8, 4),
  (7, 1, 4), (7, 2, 3), (7, 3, 3), (7, 4, 3), (7, 5, 3), (7, 6, 3), (7, 7, 3), (7, 8, 4),
  (8, 1, 4), (8, 2, 4), (8, 3, 4), (8, 4, 4), (8, 5, 4), (8, 6, 4), (8, 7, 4), (8, 8, 4);
