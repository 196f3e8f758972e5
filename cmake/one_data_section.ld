/* The C runtime's tables of initializers and TLS callbacks (.CRT) and the
   TLS template (.tls) go into .data: each is a few bytes, and as sections
   of their own each took a 512-byte block of the file (bench/size.sh).
   The order within each stays the linker's own (sorted by the $ suffix,
   which puts the runtime's start and end markers around the entries), and
   nothing reads the script's start and end symbols of the sections they
   leave. Added to the linker's own script. */
SECTIONS
{
  .data BLOCK(__section_alignment__) :
  {
    *(.data)
    *(.data2)
    *(SORT(.data$*))
    KEEP (*(.jcr))
    KEEP (*(SORT(.CRT$*)))
    KEEP (*(.tls$AAA))
    KEEP (*(.tls))
    KEEP (*(.tls$))
    KEEP (*(SORT(.tls$*)))
    KEEP (*(.tls$ZZZ))
  }
}
INSERT BEFORE .data;
