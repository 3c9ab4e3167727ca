# The same job as ulvenaReader, as a person would write it in awk: the first three dotted
# numbers of each line, an echo of them and of the running totals, and the summary.
{
  rest = $0
  found = 0
  amount[1] = amount[2] = amount[3] = 0
  while (found < 3 && match(rest, /[0-9]+(\.?[0-9]+)*/)) {
    number = substr(rest, RSTART, RLENGTH)
    gsub(/\./, "", number)
    amount[++found] = number + 0
    rest = substr(rest, RSTART + RLENGTH)
  }
  metal += amount[1]; crystal += amount[2]; deuterium += amount[3]
  if (found == 3)
    printf "%.0f Metal, %.0f Cristal, %.0f Deuterium.\n", amount[1], amount[2], amount[3]
  else
    printf "ERROR : la ligne ne peut etre lu : \"%s\"\nWARNING : seul %d nombre a ete lu !!\n", $0, found
  printf "Total : Metal=%.0f, Cristal=%.0f, Deuterium=%.0f\n\n", metal, crystal, deuterium
}
END { printf "Rentabilite :\nMetal=%.0f, Cristal=%.0f, Deuterium=%.0f\n", metal, crystal, deuterium }
