#!/usr/bin/perl
# Prints the live rows of a table like dump_dbfread.py does, read by Perl XBase.
use strict;
use warnings;
use XBase;

my $table = XBase->new(name => $ARGV[0]) or die XBase->errstr;
my @names = $table->field_names;
my @types = $table->field_types;
my @lengths = $table->field_lengths;
my @decimals = $table->field_decimals;
print "fields ", join(",", map { "$names[$_]:$types[$_]:$lengths[$_]:" . ($decimals[$_] // 0) } 0 .. $#names), "\n";
for my $i (0 .. $table->last_record) {
    my ($deleted, @values) = $table->get_record($i);
    next if $deleted;
    my @out;
    for my $f (0 .. $#names) {
        my $v = $values[$f];
        if (!defined $v) { push @out, ""; next; }
        if ($types[$f] eq 'C') { $v =~ s/ +$//; push @out, unpack("H*", $v); }
        elsif ($types[$f] eq 'L') { push @out, $v ? "T" : "F"; }
        else { push @out, $v + 0; }
    }
    print join("|", @out), "\n";
}
$table->close;
