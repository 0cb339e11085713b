namespace gelvar::unitsim { int placeholder; }
