#!/usr/bin/perl
# Walks every tag of a production index with Perl XBase::Index, an independent reader.
# Output: "tag NAME TYPE COUNT" per tag, then one "KEYHEX RECNO" line per entry in index order.
# Usage: dump_mdx.pl FILE.MDX [TAG...]   (all tags when none is named)
use strict;
use warnings;
use XBase::Index;

my ($file, @wanted) = @ARGV;
my $probe = XBase::Index->new($file) or die "cannot open $file: " . XBase::Index->errstr;
my @tags = @wanted ? @wanted : $probe->tags;
for my $tag (@tags) {
    my $index = XBase::Index->new($file, 'tag' => $tag) or die "tag $tag: " . XBase::Index->errstr;
    my $type = $index->{'tags'}{$tag}{'key_type'};
    $index->prepare_select;
    my @lines;
    while (my ($key, $recno) = $index->fetch) {
        push @lines, unpack("H*", $key) . " $recno";
    }
    print "tag $tag $type " . scalar(@lines) . "\n";
    print "$_\n" for @lines;
}
