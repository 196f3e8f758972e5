/* The programs are built without exceptions and link no unwinder, so the
   unwind tables the runtime's own objects bring are never read: 3.5 KB of
   qinghe.exe (bench/size.sh). crtbegin.o hands them to an unwinder only
   when it finds one linked or loaded, and it finds none. Added to the
   linker's own script. */
SECTIONS
{
  /DISCARD/ : { *(.eh_frame) }
}
INSERT BEFORE .eh_frame;
